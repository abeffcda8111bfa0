// The Windows program's end at the standard library's throw points. The program throws and
// catches no exception (failures are results): where the library would throw (an allocation that
// fails, a length beyond a container's maximum, an empty std::function called) it ends, as an
// exception that nothing catches would have ended it. These are the hooks the language and the
// library leave to a program for that: the replaceable allocation functions, and libstdc++'s
// __throw_ functions for code built without exceptions. With them the exception runtime (the
// unwinder, type information, the exception classes and their strings, the default terminate
// handler's demangler) stays out of the program, over half of what the library put in it.
// Linked into the intro's program only: the suites that run under Wine use exceptions.
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace {
[[noreturn]] void unreachable() { std::abort(); }

void* allocate(std::size_t size) noexcept { return std::malloc(size ? size : 1); }
}  // namespace

void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  unreachable();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace std {
void __throw_bad_alloc() { unreachable(); }
void __throw_bad_array_new_length() { unreachable(); }
void __throw_length_error(const char*) { unreachable(); }
void __throw_logic_error(const char*) { unreachable(); }
void __throw_out_of_range(const char*) { unreachable(); }
void __throw_out_of_range_fmt(const char*, ...) { unreachable(); }
void __throw_invalid_argument(const char*) { unreachable(); }
void __throw_bad_function_call() { unreachable(); }
}  // namespace std

// A call of a pure virtual function (an object used while it is made or unmade).
extern "C" void __cxa_pure_virtual() { unreachable(); }

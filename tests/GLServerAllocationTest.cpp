// GLServer when memory runs out. This program's own operator new fails on request, which is why
// these cases are a program of their own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <optional>

#include "Base/LogFile.h"
#include "GLServer/GLServer.h"
#include "Platform/virtual/VirtualWindowBackend.h"

namespace {
int allocationsToFail = 0;

bool failThisOne() {
  if (allocationsToFail <= 0) return false;
  --allocationsToFail;
  return true;
}
}  // namespace

void* operator new(std::size_t size) {
  void* p = failThisOne() ? nullptr : std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return failThisOne() ? nullptr : std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

TEST(GLServerOutOfMemory, WithoutItsLogTheServerStillRunsAndShutsDown) {
  VirtualWindowBackend backend;
  FixedOptionsDialog fixed(OptionsChoice{false, 320, 200, 32, 0});
  std::optional<GLServer> server;
  allocationsToFail = 1;  // the server's first allocation is its log
  ASSERT_NO_THROW(server.emplace(nullptr, "Brackenfold", 214, backend));
  EXPECT_EQ(allocationsToFail, 0);
  EXPECT_EQ(server->log, nullptr);
  EXPECT_EQ(getLog(), nullptr);

  server->setOptionsDialog(&fixed);
  server->init();
  ASSERT_TRUE(server->createWindow(101));
  EXPECT_FALSE(server->update());
  backend.push(MessageType::Close);
  EXPECT_TRUE(server->update());  // the teardown's log lines go nowhere
  server.reset();
  EXPECT_EQ(backend.windows, 0);
  EXPECT_EQ(backend.registered, 0);
}

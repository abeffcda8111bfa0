#pragma once

// For processes that load the GL driver: Mesa allocates in modules it unloads again, which the
// leak checker can neither attribute nor suppress. The engine's own allocations are checked by
// the suites that run on the virtual backends.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

inline constexpr const char kNoLeakCheckEnv[] = "ASAN_OPTIONS=detect_leaks=0 ";

// Leak checking around the window and GL driver start-up, whose own allocations outlive the program.
#pragma once

// The GL driver (Mesa, with LLVM behind it) keeps allocations from context creation until the
// process ends, and its library is unloaded at exit, so the leak report cannot even name it;
// SDL's D-Bus connection (made when video or controllers start) keeps one block as well. Tests
// wrap the start-up of those services in this scope: allocations made inside are not reported
// as leaks. The program's own code allocates nothing there.
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
using DriverLeaksIgnored = __lsan::ScopedDisabler;
#else
// A scope object like the real one (its constructor keeps unused-variable warnings quiet).
struct DriverLeaksIgnored {
  DriverLeaksIgnored() {}
  ~DriverLeaksIgnored() {}
};
#endif

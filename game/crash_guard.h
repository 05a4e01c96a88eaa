// The shell's defences: the processor check, the assertion dialog and the crash guard that turns a
// fault in the game frame into a logged call stack, a dialog and an exit with status 1.
#pragma once

#include <cstdint>

#include "system/stack_walker.h"

struct Packet;
struct Vis;
struct Wld;

// Exit statuses of the process.
constexpr int c_exitCrash = 1;    // a fault inside the game frame
constexpr int c_exitNoAvx = 102;  // the processor lacks AVX

// The crash report: at most 4095 characters and a NUL, for the dialog.
constexpr int c_crashReportSize = 4096;
extern char crashReport[c_crashReportSize];

// What the processor offers. A feature counts only when the operating system also saves the
// registers it needs, since its instructions fault otherwise.
struct CpuFeatures {
  char vendor[13];  // the 12 characters of EBX, EDX, ECX of leaf 0, and a NUL
  bool avx;
  bool avx2;
  bool avx512f;
};

// Decodes the processor identification: leaf 0 (highest leaf, then the vendor registers EBX, EDX,
// ECX), ECX of leaf 1 (bit 28 AVX, bit 27 OSXSAVE), EBX of leaf 7 sub-leaf 0 (bit 5 AVX2, bit 16
// AVX-512F; ignored when the highest leaf is below 7) and XCR0, the register state the system
// saves (ignored without OSXSAVE).
CpuFeatures CpuFeaturesDecode(uint32_t maxLeaf, uint32_t vendorEbx, uint32_t vendorEdx, uint32_t vendorEcx,
                              uint32_t leaf1Ecx, uint32_t leaf7Ebx, uint64_t xcr0);
// The running processor's features, read with cpuid (and xgetbv).
CpuFeatures CpuFeaturesRead();
// Logs "CPU Vendor %s" and the feature line; without AVX logs, shows the "CPU not supported"
// dialog and ends the process with status 102. Returns only when AVX is there.
void CpuCheck(const CpuFeatures& features);
// CpuCheck of the running processor: the first step of start-up.
void checkCpu();

// The assertion hook of the game: shows "Assertion failed:\n%s\n%s(%d)" in a dialog titled
// "Quillomar Assertion Failure", then returns so the program goes on. An assertion that fires
// again at the same place is only logged: a failing check in a loop would otherwise bury the
// player in boxes.
void assertDialog(const char* expression, const char* file, int line);
// Forgets the assertion places already shown; for tests.
void AssertDialogReset();

// Puts the fault handlers in place (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, run on an alternate
// stack of the calling thread so that a stack overflow is caught too) and reads the program's
// symbols for the report. Called once on the main thread at start-up; later calls do nothing.
// A fault outside a guarded frame, or on another thread, is reported to standard error and the log
// file and then ends the process by its signal, as it would without the handlers.
bool CrashGuardInstall();
// Runs body(data) under the guard and returns its result. A fault inside it writes the report to
// standard error and the log file, shows it in the crash dialog (when one can be shown) and ends
// the process with status 1, without running static destructors beside live worker threads.
// Installs the handlers first when that has not been done.
bool CrashGuardRun(bool (*body)(void* data), void* data);

// The visualisation's half of a frame: (vis, dt, steps, step seconds, world); false when the
// player asked to quit.
typedef bool (*VisFrameFn)(Vis* vis, float dt, uint32_t steps, float stepSeconds, Wld* world);
// The guarded game frame: SimFrame, then visFrame (the game passes VisFrame of graphics/vis/vis.h;
// tests and tools their own); both always run. True when both returned true.
bool guardedFrame(Packet* packet, Vis* vis, Wld* world, double dt, int steps, float stepSeconds, VisFrameFn visFrame);

// The fault handler's report: logs "=================== STACK FRAME(%x) ======================="
// with the signal number and walks the interrupted stack from the signal's context into
// crashReport, standard error and the log file. Safe in a signal handler.
void logStackFrame(const void* signalContext, int code);

// Collects the walk into crashReport until the first "ERROR:" line or until the report is full;
// every line also goes to the log file and, through the base, to standard error.
class MyStackWalker : public StackWalker {
 public:
  MyStackWalker(uint32_t options, const char* symbolPath) : StackWalker(options, symbolPath) {}
  void OnText(const char* text) override;
};
// Empties crashReport and clears its done flag; logStackFrame does it for each report.
void CrashReportReset();

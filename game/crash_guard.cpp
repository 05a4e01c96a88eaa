// The shell's defences: the processor check, the assertion dialog and the crash guard.
#include "game/crash_guard.h"

#include <cpuid.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "system/dialog.h"
#include "system/symbol_index.h"
#include "utility/log.h"
#include "world/sim/sim_frame.h"

char crashReport[c_crashReportSize];

namespace {

const char* const c_crashTitle = "Quillomar Crash. Please report to support@quillomar.example";
const int c_crashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

size_t reportLength = 0;
uint8_t reportDone = 0;

// The guarded frame of this thread, null outside one. Initial-exec thread-local storage of the
// program, so the handler reads it without allocating.
__thread sigjmp_buf* guardJump = nullptr;

// The thread that reports a fault (0 none yet), and whether that fault was inside the guard.
std::atomic<long> crashThread{0};
std::atomic<bool> crashGuarded{false};
std::atomic<bool> installed{false};
std::mutex installLock;

// The alternate stack of the thread that installed the guard: room for the walker, its line
// buffers and the unwinder, when the thread's own stack is used up.
alignas(64) char altStack[256 * 1024];

void WriteAll(int fd, const char* text, size_t length) {
  while (fd >= 0 && length > 0) {
    const ssize_t n = write(fd, text, length);
    if (n <= 0) return;
    text += n;
    length -= static_cast<size_t>(n);
  }
}

void WriteText(int fd, const char* text) { WriteAll(fd, text, strlen(text)); }

int LogFileDescriptor() {
  FILE* file = logFile;
  return file ? fileno(file) : -1;
}

// Ends the process by the signal, as if no handler had been there.
void DieBySignal(int sig) {
  struct sigaction def;
  memset(&def, 0, sizeof(def));
  def.sa_handler = SIG_DFL;
  sigemptyset(&def.sa_mask);
  sigaction(sig, &def, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(sig);
  // A fault re-raises by itself when the handler returns to the faulting instruction.
}

void CrashSignal(int sig, siginfo_t*, void* context) {
  const long self = syscall(SYS_gettid);
  long expected = 0;
  if (!crashThread.compare_exchange_strong(expected, self)) {
    if (expected == self) {
      // A fault while reporting or showing the report: it ends as the first one would have.
      if (crashGuarded.load()) _exit(c_exitCrash);
      DieBySignal(sig);
      return;
    }
    // Another thread is reporting its own fault and ends the process.
    for (;;) pause();
  }
  sigjmp_buf* jump = guardJump;
  crashGuarded.store(jump != nullptr);
  logStackFrame(context, sig);
  if (jump) {
    guardJump = nullptr;
    siglongjmp(*jump, 1);
  }
  DieBySignal(sig);
}

// After a fault in the guarded frame: the report is already on standard error and in the log
// file; the dialog is shown when it can be, then the process ends at once. Static destructors
// must not run while the worker threads still use the world.
[[noreturn]] void CrashEnd() {
  DialogShowError(c_crashTitle, crashReport);
  _exit(c_exitCrash);
}

// A walk that says nothing: run once at install so that every call the crash path makes is bound
// and warmed up before it is needed inside a handler.
class QuietWalker : public StackWalker {
 public:
  QuietWalker() : StackWalker(0, nullptr) {}
  void OnText(const char*) override {}
};

struct FramePair {
  Packet* packet;
  Vis* vis;
  Wld* world;
  double dt;
  int steps;
  float stepSeconds;
  VisFrameFn visFrame;
};

bool RunFramePair(void* data) {
  FramePair* f = static_cast<FramePair*>(data);
  const bool sim = SimFrame(f->packet, f->steps, f->stepSeconds, f->world);
  const bool vis =
      f->visFrame ? f->visFrame(f->vis, static_cast<float>(f->dt), f->steps, f->stepSeconds, f->world) : true;
  return sim && vis;
}

// Places of assertions whose dialog was shown.
struct AssertPlace {
  const char* file;
  int line;
};
constexpr int c_assertPlaces = 64;
AssertPlace assertPlaces[c_assertPlaces];
int assertPlaceCount = 0;
std::mutex assertLock;

}  // namespace

CpuFeatures CpuFeaturesDecode(uint32_t maxLeaf, uint32_t vendorEbx, uint32_t vendorEdx, uint32_t vendorEcx,
                              uint32_t leaf1Ecx, uint32_t leaf7Ebx, uint64_t xcr0) {
  CpuFeatures f;
  memset(&f, 0, sizeof(f));
  memcpy(f.vendor, &vendorEbx, 4);
  memcpy(f.vendor + 4, &vendorEdx, 4);
  memcpy(f.vendor + 8, &vendorEcx, 4);
  f.vendor[12] = 0;
  const bool osxsave = (leaf1Ecx >> 27) & 1;
  // The system must save the SSE and AVX halves (XCR0 bits 1 and 2); AVX-512 also needs the mask
  // and upper register state (bits 5 to 7).
  const bool osAvx = osxsave && (xcr0 & 0x6) == 0x6;
  const bool osAvx512 = osxsave && (xcr0 & 0xe6) == 0xe6;
  f.avx = ((leaf1Ecx >> 28) & 1) && osAvx;
  const bool leaf7 = maxLeaf >= 7;
  f.avx2 = f.avx && leaf7 && ((leaf7Ebx >> 5) & 1);
  f.avx512f = f.avx && leaf7 && osAvx512 && ((leaf7Ebx >> 16) & 1);
  return f;
}

CpuFeatures CpuFeaturesRead() {
  unsigned maxLeaf = 0, ebx = 0, ecx = 0, edx = 0;
  __get_cpuid(0, &maxLeaf, &ebx, &ecx, &edx);
  const uint32_t vendorEbx = ebx, vendorEcx = ecx, vendorEdx = edx;
  unsigned a = 0, b = 0, leaf1Ecx = 0, d = 0;
  if (maxLeaf >= 1) __get_cpuid(1, &a, &b, &leaf1Ecx, &d);
  unsigned leaf7Ebx = 0;
  if (maxLeaf >= 7) __get_cpuid_count(7, 0, &a, &leaf7Ebx, &ecx, &d);
  uint64_t xcr0 = 0;
  if ((leaf1Ecx >> 27) & 1) {
    // xgetbv exists only when the system has enabled it (OSXSAVE); it faults otherwise.
    uint32_t lo = 0, hi = 0;
    asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    xcr0 = (static_cast<uint64_t>(hi) << 32) | lo;
  }
  return CpuFeaturesDecode(maxLeaf, vendorEbx, vendorEdx, vendorEcx, leaf1Ecx, leaf7Ebx, xcr0);
}

void CpuCheck(const CpuFeatures& f) {
  LOGI("CPU Vendor %s", f.vendor);
  LOGI("AVX[%c] AVX2[%c] AVX512[%c]", f.avx ? 'x' : ' ', f.avx2 ? 'x' : ' ', f.avx512f ? 'x' : ' ');
  if (f.avx) return;
  LOGI("CPU does not support AVX. Aborting!");
  DialogShowError("CPU not supported",
                  "Your CPU does not support the AVX intructions.\nThat means this game will not run on your "
                  "machine.\nAVX was introducted on Intel Sandy Bridge and AMD Bulldozer CPUs. (2011+)\n");
  exit(c_exitNoAvx);
}

void checkCpu() { CpuCheck(CpuFeaturesRead()); }

void assertDialog(const char* expression, const char* file, int line) {
  {
    std::lock_guard<std::mutex> guard(assertLock);
    for (int i = 0; i < assertPlaceCount; ++i) {
      if (assertPlaces[i].line == line && file && assertPlaces[i].file && !strcmp(assertPlaces[i].file, file)) return;
    }
    // A full table forgets nothing new: later places still get their dialog each time.
    if (assertPlaceCount < c_assertPlaces) assertPlaces[assertPlaceCount++] = {file, line};
  }
  char text[512];
  snprintf(text, sizeof(text), "Assertion failed:\n%s\n%s(%d)", expression ? expression : "", file ? file : "", line);
  DialogShowError("Quillomar Assertion Failure", text);
}

void AssertDialogReset() {
  std::lock_guard<std::mutex> guard(assertLock);
  assertPlaceCount = 0;
}

void CrashReportReset() {
  crashReport[0] = 0;
  reportLength = 0;
  reportDone = 0;
}

void MyStackWalker::OnText(const char* text) {
  if (!text) return;
  const size_t length = strlen(text);
  if (!strncmp(text, "ERROR:", 6)) {
    reportDone = 1;
  } else if (!reportDone && reportLength < c_crashReportSize - 1) {
    size_t n = length;
    if (n > c_crashReportSize - 1 - reportLength) n = c_crashReportSize - 1 - reportLength;
    memcpy(crashReport + reportLength, text, n);
    reportLength += n;
    crashReport[reportLength] = 0;
  }
  WriteAll(LogFileDescriptor(), text, length);
  StackWalker::OnText(text);
}

void logStackFrame(const void* signalContext, int code) {
  CrashReportReset();
  // The log's own printing formats with stdio and takes a lock, which the faulting code may hold:
  // the lines are written straight to the descriptors instead.
  char header[96] = "ERR =================== STACK FRAME(";
  char digits[9];
  int n = 0;
  unsigned value = static_cast<unsigned>(code);
  do {
    digits[n++] = "0123456789abcdef"[value & 15];
    value >>= 4;
  } while (value && n < 8);
  size_t at = strlen(header);
  while (n > 0) header[at++] = digits[--n];
  header[at] = 0;
  strcat(header, ") =======================\n");
  const int logFd = LogFileDescriptor();
  // Standard output carries the log; standard error carries the report, which starts with it too.
  WriteText(STDOUT_FILENO, header);
  WriteText(STDERR_FILENO, header);
  WriteText(logFd, header);
  MyStackWalker walker(0x13, nullptr);
  walker.WalkContext(signalContext);
  if (logFd >= 0) fsync(logFd);
}

bool CrashGuardInstall() {
  std::lock_guard<std::mutex> guard(installLock);
  if (installed.load()) return true;
  if (!SymbolIndexLoad()) LOGW("Crash reports will name only exported functions.");
  stack_t stack;
  memset(&stack, 0, sizeof(stack));
  stack.ss_sp = altStack;
  stack.ss_size = sizeof(altStack);
  if (sigaltstack(&stack, nullptr) != 0) LOGE("No alternate signal stack: a stack overflow will not be reported.");
  struct sigaction action;
  memset(&action, 0, sizeof(action));
  action.sa_sigaction = CrashSignal;
  // SA_NODEFER: a fault inside the handler comes back to it, which then ends the process as the
  // first fault would have, instead of the kernel killing it by the signal.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  bool ok = true;
  for (int sig : c_crashSignals) {
    if (sigaction(sig, &action, nullptr) != 0) {
      LOGE("The crash guard could not take signal %d.", sig);
      ok = false;
    }
  }
  QuietWalker warmUp;
  warmUp.WalkStack();
  installed.store(true);
  return ok;
}

bool CrashGuardRun(bool (*body)(void* data), void* data) {
  if (!installed.load()) CrashGuardInstall();
  sigjmp_buf jump;
  sigjmp_buf* outer = guardJump;
  if (sigsetjmp(jump, 1) != 0) CrashEnd();
  guardJump = &jump;
  const bool result = body ? body(data) : false;
  guardJump = outer;
  return result;
}

bool guardedFrame(Packet* packet, Vis* vis, Wld* world, double dt, int steps, float stepSeconds, VisFrameFn visFrame) {
  FramePair pair = {packet, vis, world, dt, steps, stepSeconds, visFrame};
  return CrashGuardRun(RunFramePair, &pair);
}

// The crash guard: faults inside and outside the guarded frame, the report and its limits, the
// processor check and the assertion dialog, all through the dialog hook.
#include "game/crash_guard.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "captured_log.h"
#include "system/dialog.h"
#include "test_support.h"
#include "utility/log.h"

// The faulting functions are plain C names outside any namespace, so the report's lines can be
// matched exactly. Sanitizers would catch the faults before the processor does: they are kept out.
extern "C" {
int* volatile crashTestNull = nullptr;
volatile int crashTestZero = 0;

__attribute__((noinline, no_sanitize("address", "undefined"))) int CrashTestNullWrite(int value) {
  *crashTestNull = value;
  return value;
}

__attribute__((noinline, no_sanitize("undefined"))) int CrashTestDivide(int value) { return value / crashTestZero; }

int (*volatile crashTestHook)(int) = nullptr;

// A call through a hook nobody set.
__attribute__((noinline)) int CrashTestCallNull(int value) { return crashTestHook(value) + 1; }

// Recursion the compiler cannot turn into a loop: the stack runs out.
__attribute__((noinline, no_sanitize("address", "undefined"))) int CrashTestRecurse(int depth) {
  volatile char pad[256];
  if (depth == INT_MAX) return 0;  // never: the stack runs out long before
  pad[depth & 255] = static_cast<char>(depth);
  return CrashTestRecurse(depth + 1) + pad[(depth + 1) & 255];
}
}

namespace {

// The dialog as the death tests see it: written to standard error, which the parent matches.
bool PrintingDialog(const char* title, const char* text) {
  fprintf(stderr, "DIALOG[%s]\n%s\nEND DIALOG\n", title, text);
  fflush(stderr);
  return false;
}

bool ExitingDialog(const char*, const char*) { _exit(77); }

// A dialog that itself faults, as one might on a heap the crash left broken.
bool FaultingDialog(const char*, const char*) { return CrashTestNullWrite(4) == 4; }

struct ExitOnDestroy {
  ~ExitOnDestroy() { _exit(55); }
};

bool NullWriteBody(void*) { return CrashTestNullWrite(7) == 7; }
bool DivideBody(void*) { return CrashTestDivide(7) == 0; }
bool CallNullBody(void*) { return CrashTestCallNull(2) == 3; }
bool RecurseBody(void*) { return CrashTestRecurse(0) == 0; }
bool AbortBody(void*) {
  abort();
  return false;
}
bool FineBody(void* data) {
  ++*static_cast<int*>(data);
  return true;
}

void RunGuarded(bool (*body)(void*), const char* logPath) {
  dialogHook = PrintingDialog;
  if (logPath) logFile = fopen(logPath, "w");
  CrashGuardRun(body, nullptr);
  fprintf(stderr, "NOT REACHED\n");
  _exit(42);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct VisCall {
  int calls = 0;
  bool answer = true;
};
VisCall visCall;

bool FakeVisFrame(Vis*, float dt, uint32_t steps, float stepSeconds, Wld*) {
  ++visCall.calls;
  EXPECT_FLOAT_EQ(dt, 0.02f);
  EXPECT_EQ(steps, 5u);
  EXPECT_FLOAT_EQ(stepSeconds, 1.0f / 240.0f);
  return visCall.answer;
}

bool FaultingVisFrame(Vis*, float, uint32_t, float, Wld*) { return CrashTestNullWrite(1) == 1; }

}  // namespace

TEST(CrashGuardDeathTest, FaultsInsideTheGuardEndWithStatusOneAndNameTheFunction) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The report: the header with the signal, then the faulting function with its file and line,
  // then its callers; the dialog shows the same text.
  EXPECT_EXIT(RunGuarded(NullWriteBody, nullptr), testing::ExitedWithCode(c_exitCrash),
              "STACK FRAME\\(b\\)(.|\n)*tests/game/crash_guard_test.cpp \\([0-9]+\\): CrashTestNullWrite\n"
              "tests/game/crash_guard_test.cpp \\([0-9]+\\): \\(anonymous namespace\\)::NullWriteBody"
              "(.|\n)*DIALOG\\[Quillomar Crash. Please report to [^]]+\\]\n"
              "tests/game/crash_guard_test.cpp \\([0-9]+\\): CrashTestNullWrite\n");
  EXPECT_EXIT(RunGuarded(DivideBody, nullptr), testing::ExitedWithCode(c_exitCrash),
              "STACK FRAME\\(8\\)(.|\n)*tests/game/crash_guard_test.cpp \\([0-9]+\\): CrashTestDivide\n");
  EXPECT_EXIT(RunGuarded(AbortBody, nullptr), testing::ExitedWithCode(c_exitCrash),
              "STACK FRAME\\(6\\)(.|\n)*\\(libc.so.6\\): \\(filename not available\\): abort\n"
              // (a sanitizer's own abort may stand between)
              "(.|\n)*tests/game/crash_guard_test.cpp \\([0-9]+\\): \\(anonymous namespace\\)::AbortBody");
  // The end skips static destructors, which could run while worker threads still use the world:
  // one that ran here would change the exit status.
  EXPECT_EXIT(
      {
        static ExitOnDestroy guardByDestructor;
        RunGuarded(DivideBody, nullptr);
      },
      testing::ExitedWithCode(c_exitCrash), "CrashTestDivide");
  // A fault while the dialog is up still ends with status 1, the report already written.
  EXPECT_EXIT(
      {
        dialogHook = FaultingDialog;
        CrashGuardRun(DivideBody, nullptr);
      },
      testing::ExitedWithCode(c_exitCrash), "STACK FRAME\\(8\\)(.|\n)*CrashTestDivide");
  // A call through a null pointer: the frame at address 0 says nothing, its caller is named.
  EXPECT_EXIT(RunGuarded(CallNullBody, nullptr), testing::ExitedWithCode(c_exitCrash),
              "STACK FRAME\\(b\\) =+\ntests/game/crash_guard_test.cpp \\([0-9]+\\): CrashTestCallNull\n"
              "tests/game/crash_guard_test.cpp \\([0-9]+\\): \\(anonymous namespace\\)::CallNullBody");
  // The real frame pair: a fault in the visualisation's half.
  EXPECT_EXIT(
      {
        dialogHook = PrintingDialog;
        guardedFrame(nullptr, nullptr, nullptr, 0.02, 1, 1.0f / 240.0f, FaultingVisFrame);
        _exit(42);
      },
      testing::ExitedWithCode(c_exitCrash), "CrashTestNullWrite\n(.|\n)*FaultingVisFrame");
}

TEST(CrashGuardDeathTest, TheReportReachesTheLogFileWhenNoDialogCanBeShown) {
  // Forked without a new program image, so that the child writes where the parent then reads.
  GTEST_FLAG_SET(death_test_style, "fast");
  const std::string path = TestTempFolder("crashlog") + "/vyxlog.txt";
  EXPECT_EXIT(RunGuarded(NullWriteBody, path.c_str()), testing::ExitedWithCode(c_exitCrash), "CrashTestNullWrite");
  const std::string log = ReadFile(path);
  EXPECT_NE(log.find("ERR =================== STACK FRAME(b) =======================\n"), std::string::npos) << log;
  EXPECT_NE(log.find("tests/game/crash_guard_test.cpp ("), std::string::npos) << log;
  EXPECT_NE(log.find("): CrashTestNullWrite\n"), std::string::npos) << log;
}

TEST(CrashGuardDeathTest, AStackOverflowInsideTheGuardIsReported) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The handler runs on its own stack. Every frame of the recursion returns to the address the
  // next one returns to, so after 1001 of them the walk ends by the endless-stack rule; the report
  // was full long before.
  EXPECT_EXIT(RunGuarded(RecurseBody, nullptr), testing::ExitedWithCode(c_exitCrash),
              "STACK FRAME\\(b\\) =+\n(tests/game/crash_guard_test.cpp \\([0-9]+\\): CrashTestRecurse\n){1002}"
              "ERROR: StackWalk64-Endless-Callstack!, GetLastError: 0 \\(Address: 0x[0-9a-f]+\\)\n"
              "DIALOG\\[Quillomar Crash. Please report to [^]]+\\]\n"
              // 74 lines of 55 characters and 25 characters of the next: 4095 in all.
              "(tests/game/crash_guard_test.cpp \\([0-9]+\\): CrashTestRecurse\n){74}"
              "tests/game/crash_guard_te\nEND DIALOG");
}

TEST(CrashGuardDeathTest, FaultsOutsideTheGuardDieByTheirSignal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // No dialog outside the guard: one would end the process with another status.
  EXPECT_EXIT(
      {
        dialogHook = ExitingDialog;
        CrashGuardInstall();
        CrashTestNullWrite(3);
      },
      testing::KilledBySignal(SIGSEGV), "STACK FRAME\\(b\\)(.|\n)*CrashTestNullWrite");
  EXPECT_EXIT(
      {
        CrashGuardInstall();
        int ran = 0;
        CrashGuardRun(FineBody, &ran);  // a guarded frame that ended leaves no guard behind
        CrashTestDivide(ran);
      },
      testing::KilledBySignal(SIGFPE), "CrashTestDivide");
}

namespace {
// A guarded frame that waits while a worker thread faults.
bool WorkerFaultBody(void*) {
  std::thread worker([] { CrashTestNullWrite(5); });
  worker.join();
  return true;
}
}  // namespace

TEST(CrashGuardDeathTest, AWorkerThreadsFaultIsNotGuarded) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The guard belongs to the thread that runs the frame: a worker's fault is reported and then ends
  // the process by its signal, with no dialog, even while the main thread is inside the guard.
  EXPECT_EXIT(
      {
        dialogHook = ExitingDialog;
        CrashGuardRun(WorkerFaultBody, nullptr);
      },
      testing::KilledBySignal(SIGSEGV),
      "STACK FRAME\\(b\\) =+\ntests/game/crash_guard_test.cpp \\([0-9]+\\): CrashTestNullWrite\n");
}

TEST(CrashGuard, GuardedFrameRunsBothHalvesAndAndsTheirAnswers) {
  int ran = 0;
  EXPECT_TRUE(CrashGuardRun(FineBody, &ran));
  EXPECT_EQ(ran, 1);
  visCall = VisCall();
  EXPECT_TRUE(guardedFrame(nullptr, nullptr, nullptr, 0.02, 5, 1.0f / 240.0f, FakeVisFrame));
  visCall.answer = false;
  EXPECT_FALSE(guardedFrame(nullptr, nullptr, nullptr, 0.02, 5, 1.0f / 240.0f, FakeVisFrame));
  EXPECT_EQ(visCall.calls, 2);
  EXPECT_TRUE(guardedFrame(nullptr, nullptr, nullptr, 0.02, 5, 1.0f / 240.0f, nullptr));
}

TEST(CrashGuard, ReportIsCutAtItsLimitAndFrozenByAnErrorLine) {
  MyStackWalker walker(0x13, nullptr);
  // Lines are collected until 4095 characters; the rest is dropped, and the text stays terminated.
  CrashReportReset();
  const std::string line(99, 'a');
  for (int i = 0; i < 50; ++i) walker.OnText((line + "\n").c_str());
  EXPECT_EQ(strlen(crashReport), 4095u);
  EXPECT_EQ(std::string(crashReport, 100), line + "\n");
  EXPECT_EQ(crashReport[4094], 'a');  // 40 whole lines, then 95 characters of the 41st
  // An error line in the middle of a walk keeps what came before it and nothing after.
  CrashReportReset();
  walker.OnText("first\n");
  walker.OnText("ERROR: StackWalk64, GetLastError: 0 (Address: 0x10)\n");
  walker.OnText("second\n");
  EXPECT_STREQ(crashReport, "first\n");
  // A fresh report starts empty and open.
  CrashReportReset();
  walker.OnText("third\n");
  EXPECT_STREQ(crashReport, "third\n");
  CrashReportReset();
}

TEST(CpuCheck, DecodesTheIdentification) {
  // "GenuineIntel" as leaf 0 gives it: EBX "Genu", EDX "ineI", ECX "ntel".
  const uint32_t ebx = 0x756e6547, edx = 0x49656e69, ecx = 0x6c65746e;
  const uint32_t avx = 1u << 28, osxsave = 1u << 27, avx2 = 1u << 5, avx512 = 1u << 16;
  struct Case {
    uint32_t maxLeaf, leaf1Ecx, leaf7Ebx;
    uint64_t xcr0;
    bool avx, avx2, avx512;
  };
  const Case cases[] = {
      {13, avx | osxsave, avx2 | avx512, 0xe7, true, true, true},
      {13, avx | osxsave, avx2, 0x7, true, true, false},
      {13, avx | osxsave, 0, 0x7, true, false, false},              // AVX without AVX2
      {13, avx | osxsave, avx2 | avx512, 0x7, true, true, false},   // AVX-512 state not saved
      {13, avx, avx2 | avx512, 0xe7, false, false, false},          // the system never enabled xgetbv
      {13, avx | osxsave, avx2, 0x3, false, false, false},          // AVX state not saved
      {13, osxsave, avx2 | avx512, 0xe7, false, false, false},      // no AVX: the later ones need it
      {6, avx | osxsave, avx2 | avx512, 0xe7, true, false, false},  // leaf 7 not there: its bits are noise
      {0, 0, 0, 0, false, false, false},
  };
  for (const Case& c : cases) {
    const CpuFeatures f = CpuFeaturesDecode(c.maxLeaf, ebx, edx, ecx, c.leaf1Ecx, c.leaf7Ebx, c.xcr0);
    EXPECT_STREQ(f.vendor, "GenuineIntel");
    EXPECT_EQ(f.avx, c.avx) << c.leaf1Ecx << " " << c.xcr0;
    EXPECT_EQ(f.avx2, c.avx2) << c.leaf7Ebx << " " << c.maxLeaf;
    EXPECT_EQ(f.avx512f, c.avx512) << c.leaf7Ebx << " " << c.xcr0;
  }
  // The running processor read through cpuid agrees with the compiler's own check.
  __builtin_cpu_init();
  const CpuFeatures here = CpuFeaturesRead();
  EXPECT_EQ(here.avx, __builtin_cpu_supports("avx") != 0);
  EXPECT_EQ(here.avx2, __builtin_cpu_supports("avx2") != 0);
  EXPECT_EQ(strlen(here.vendor), 12u);
}

TEST(CpuCheckDeathTest, NoAvxShowsTheDialogAndExitsWith102) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CpuFeatures old = {"AuthenticAMD", false, false, false};
  EXPECT_EXIT(
      {
        dialogHook = PrintingDialog;
        CpuCheck(old);
      },
      testing::ExitedWithCode(c_exitNoAvx),
      "DIALOG\\[CPU not supported\\]\nYour CPU does not support the AVX intructions.\n");
  // With AVX and nothing newer the check logs the features and returns.
  CapturedLog log;
  CpuFeatures avxOnly = {"GenuineIntel", true, false, false};
  CpuCheck(avxOnly);
  EXPECT_TRUE(log.HasLine("CPU Vendor GenuineIntel"));
  EXPECT_TRUE(log.HasLine("AVX[x] AVX2[ ] AVX512[ ]"));
}

namespace {
std::vector<std::string> dialogs;
bool RecordingDialog(const char* title, const char* text) {
  dialogs.push_back(std::string(title) + "|" + text);
  return true;
}
}  // namespace

TEST(CrashGuard, AssertionDialogIsShownOncePerPlaceAndCut) {
  DialogHookFn previous = dialogHook;
  dialogHook = RecordingDialog;
  dialogs.clear();
  AssertDialogReset();
  assertDialog("x > 0", "world/parts/items.cpp", 12);
  assertDialog("x > 0", "world/parts/items.cpp", 12);  // the same place again: logged only
  assertDialog("y", "world/parts/items.cpp", 13);
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0], "Quillomar Assertion Failure|Assertion failed:\nx > 0\nworld/parts/items.cpp(12)");
  // A long expression is cut so that the text stays within 511 characters.
  const std::string longText(600, 'e');
  assertDialog(longText.c_str(), "a.cpp", 1);
  ASSERT_EQ(dialogs.size(), 3u);
  EXPECT_EQ(dialogs[2].size(), std::string("Quillomar Assertion Failure|").size() + 511);
  AssertDialogReset();
  dialogHook = previous;
}

TEST(Dialog, NobodyToAnswerMeansNoBox) {
  // Without a display, or when told so, the system box returns at once with a log line.
  CapturedLog log;
  const char* display = getenv("DISPLAY");
  const std::string saved = display ? display : "";
  setenv("QUILLOMAR_NO_DIALOGS", "1", 1);
  EXPECT_FALSE(DialogCanAsk());
  EXPECT_FALSE(DialogSystemBox("Title", "Text"));
  EXPECT_TRUE(log.HasLine("Dialog not shown: Title\nText"));
  unsetenv("QUILLOMAR_NO_DIALOGS");
  unsetenv("DISPLAY");
  const char* wayland = getenv("WAYLAND_DISPLAY");
  if (!wayland || !wayland[0]) {
    EXPECT_FALSE(DialogCanAsk());
  }
  if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
  DialogHookFn previous = dialogHook;
  dialogHook = nullptr;
  EXPECT_FALSE(DialogShowError("a", "b"));
  dialogHook = previous;
}

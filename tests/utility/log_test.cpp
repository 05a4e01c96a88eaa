// Logging: prefixes reach stdout but not the hooks; assertions log and continue.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "utility/log.h"

namespace {
std::vector<std::string> consoleLines, messageLines;
void Console(const char* format, ...) {
  char buf[4096];
  va_list args;
  va_start(args, format);
  vsnprintf(buf, sizeof(buf), format, args);
  va_end(args);
  consoleLines.push_back(buf);
}
void Message(const char* format, ...) {
  char buf[4096];
  va_list args;
  va_start(args, format);
  vsnprintf(buf, sizeof(buf), format, args);
  va_end(args);
  messageLines.push_back(buf);
}
struct Hooks {
  Hooks() {
    consoleLines.clear();
    messageLines.clear();
    consoleHook = Console;
    messageHook = Message;
  }
  ~Hooks() {
    consoleHook = nullptr;
    messageHook = nullptr;
  }
};
}  // namespace

TEST(Log, HooksSeeTextWithoutPrefixAndFileSeesPrefix) {
  Hooks hooks;
  FILE* f = tmpfile();
  ASSERT_NE(f, nullptr);
  logFile = f;
  LOGE("CreateMutex failed with %s", "boom");
  LOGW("Vis send packet overflowed.");
  LOGI("plain %d", 7);
  LogEvent("%s cut down a tree.", "Ann");
  logFile = nullptr;
  ASSERT_EQ(consoleLines.size(), 4u);
  EXPECT_EQ(consoleLines[0], "CreateMutex failed with boom");
  EXPECT_EQ(consoleLines[1], "Vis send packet overflowed.");
  EXPECT_EQ(consoleLines[2], "plain 7");
  ASSERT_EQ(messageLines.size(), 1u);
  EXPECT_EQ(messageLines[0], "Ann cut down a tree.");
  rewind(f);
  char text[512] = {};
  size_t n = fread(text, 1, sizeof(text) - 1, f);
  fclose(f);
  EXPECT_EQ(std::string(text, n),
            "ERR CreateMutex failed with boom\nWRN Vis send packet overflowed.\nplain 7\nAnn cut down a tree.\n");
}

TEST(Log, AssertLogsCallsHookAndContinues) {
  Hooks hooks;
  ExpectAsserts expect;
  int after = 0;
  ASSERT(1 + 1 == 3);
  after = 1;
  ASSERTM(after == 2, "after=%d", after);
  EXPECT_EQ(after, 1);
  ASSERT_EQ(expect.Count(), 2);
  EXPECT_EQ(expect.Seen()[0], "1 + 1 == 3");
  ASSERT_EQ(consoleLines.size(), 2u);
  EXPECT_NE(consoleLines[0].find("ASSERT FAILED at "), std::string::npos);
  EXPECT_NE(consoleLines[0].find("):  1 + 1 == 3"), std::string::npos);
  EXPECT_NE(consoleLines[1].find("after == 2 / after=1"), std::string::npos);
}

namespace {
// Each check returns its own value when it fails and 7 when it lets the caller go on; the
// functions that return nothing report 0 for "left early" the same way.
int ViaAssert(bool ok) {
  ASSERT_OR_RETURN(ok, -1);
  return 7;
}
int ViaAssertM(bool ok) {
  ASSERTM_OR_RETURN(ok, -2, "detail %d", 42);
  return 7;
}
int ViaAssertT(bool ok) {
  ASSERTT_OR_RETURN(ok, -3, "given text");
  return 7;
}
int went = 0;
void AssertVoid(bool ok) {
  ASSERT_OR_RETURN_VOID(ok);
  went = 7;
}
void AssertMVoid(bool ok) {
  ASSERTM_OR_RETURN_VOID(ok, "detail %d", 42);
  went = 7;
}
void AssertTVoid(bool ok) {
  ASSERTT_OR_RETURN_VOID(ok, "given text");
  went = 7;
}
template <void (*check)(bool)>
int ViaVoid(bool ok) {
  went = 0;
  check(ok);
  return went;
}
}  // namespace

TEST(Log, AssertOrReturnLogsLikeAssertAndLeaves) {
  const struct {
    int (*check)(bool);
    int failed;              // what the check returns when the condition is false
    const char* expression;  // what the assertion hook is given
    const char* tail;        // how the logged line ends after "ASSERT FAILED at file(line)"
  } cases[] = {
      {ViaAssert, -1, "ok", "):  ok"},
      {ViaAssertM, -2, "ok", "):  ok / detail 42"},
      {ViaAssertT, -3, "given text", "):  given text"},
      {ViaVoid<AssertVoid>, 0, "ok", "):  ok"},
      {ViaVoid<AssertMVoid>, 0, "ok", "):  ok / detail 42"},
      {ViaVoid<AssertTVoid>, 0, "given text", "):  given text"},
  };
  const std::string prefix = std::string("ASSERT FAILED at ") + __FILE__ + "(";
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    SCOPED_TRACE(i);
    Hooks hooks;
    ExpectAsserts expect;
    EXPECT_EQ(cases[i].check(true), 7);
    EXPECT_EQ(expect.Count(), 0);
    EXPECT_TRUE(consoleLines.empty());
    EXPECT_EQ(cases[i].check(false), cases[i].failed);
    ASSERT_EQ(expect.Count(), 1);
    EXPECT_EQ(expect.Seen()[0], cases[i].expression);
    ASSERT_EQ(consoleLines.size(), 1u);
    const std::string& line = consoleLines[0];
    EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
    const std::string tail = cases[i].tail;
    EXPECT_TRUE(line.size() > tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0) << line;
  }
}

TEST(Log, LinesFromSeveralThreadsStayWhole) {
  Hooks hooks;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++)
    threads.emplace_back([t] {
      for (int i = 0; i < 50; i++) LOGI("thread %d line %d", t, i);
    });
  for (std::thread& th : threads) th.join();
  ASSERT_EQ(consoleLines.size(), 200u);
  for (const std::string& s : consoleLines) EXPECT_EQ(s.rfind("thread ", 0), 0u);
}

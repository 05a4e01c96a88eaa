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

// The call-stack walker: a walk of the running thread, the endless-stack rule and the line formats.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "system/stack_walker.h"

namespace {

// Collects what a walk emits.
class CollectingWalker : public StackWalker {
 public:
  explicit CollectingWalker(uint32_t options = 0, const char* path = nullptr) : StackWalker(options, path) {}
  std::vector<std::string> lines;
  std::vector<int> kinds;
  std::string searchPath;
  int modules = 0;
  void OnText(const char* text) override { lines.push_back(text); }
  void OnStackEntry(int kind, const StackEntry& entry) override {
    kinds.push_back(kind);
    StackWalker::OnStackEntry(kind, entry);
  }
  void OnSymbolsReady(const char* path, uint32_t, const char*) override { searchPath = path; }
  void OnModuleLoaded(const char*, const char*, uint64_t, uint32_t, uint32_t, const char*, const char*,
                      uint64_t) override {
    ++modules;
  }
  int Errors() const {
    int n = 0;
    for (const std::string& l : lines) n += l.rfind("ERROR:", 0) == 0;
    return n;
  }
};

std::string Hex(uint64_t v) {
  char text[32];
  snprintf(text, sizeof(text), "%p", reinterpret_cast<void*>(static_cast<uintptr_t>(v)));
  return text;
}

// Frames that never reach the program's code: they are found in no module.
std::vector<StackFrame> SelfReturning(int repeats, bool thenNormal) {
  std::vector<StackFrame> frames;
  frames.push_back({0x10, 0x20});
  for (int i = 0; i < repeats; ++i) frames.push_back({0x20, 0x20});
  if (thenNormal) frames.push_back({0x20, 0x30});
  frames.push_back({0x30, 0});
  return frames;
}

}  // namespace

// A frame of its own between the test and the walker, whose line the walk must name.
extern "C" __attribute__((noinline, visibility("default"))) int StackWalkerTestWalk(CollectingWalker* w) {
  return w->WalkStack() ? 1 : 0;
}

TEST(StackWalker, WalksTheCallingThread) {
  CollectingWalker walker;
  ASSERT_EQ(StackWalkerTestWalk(&walker), 1);
  EXPECT_GT(walker.modules, 0);
  ASSERT_FALSE(walker.lines.empty());
  EXPECT_EQ(walker.Errors(), 0);
  ASSERT_GE(walker.kinds.size(), 2u);
  EXPECT_EQ(walker.kinds.front(), SEK_FIRST);
  EXPECT_EQ(walker.kinds.back(), SEK_LAST);
  // Every line ends with a line feed. The program's own frames carry their source file, line and
  // function; frames of other modules, and code without line information, are address lines
  // naming the module.
  bool sawCaller = false, sawTest = false, sawLibrary = false;
  for (const std::string& l : walker.lines) {
    EXPECT_EQ(l.back(), '\n');
    if (l.rfind("0x", 0) == 0) {
      EXPECT_NE(l.find(": (filename not available): "), std::string::npos) << l;
      // The program's code built without debug information (the test library) is still named.
      if (l.find("(test_system)") != std::string::npos) {
        EXPECT_EQ(l.find("(function-name not available)"), std::string::npos) << l;
      }
      sawLibrary |= l.find("(libc.so.6)") != std::string::npos;
      continue;
    }
    sawCaller |= l.rfind("tests/system/stack_walker_test.cpp (58): StackWalkerTestWalk\n", 0) == 0;
    sawTest |= l.find("StackWalker_WalksTheCallingThread_Test::TestBody()") != std::string::npos;
  }
  EXPECT_TRUE(sawCaller);
  EXPECT_TRUE(sawTest);
  EXPECT_TRUE(sawLibrary);
  EXPECT_EQ(walker.lines.front().find("StackWalker::Unwind"), std::string::npos) << walker.lines.front();
  // A second walk does not announce the modules again.
  const int modules = walker.modules;
  EXPECT_TRUE(walker.WalkStack());
  EXPECT_EQ(walker.modules, modules);
}

TEST(StackWalker, EndlessStackRule) {
  {
    // 1001 frames returning to themselves are tolerated, then a normal frame and the bottom.
    CollectingWalker walker;
    const std::vector<StackFrame> frames = SelfReturning(1001, true);
    EXPECT_TRUE(walker.WalkFrames(frames.data(), static_cast<int>(frames.size())));
    for (const std::string& l : walker.lines) EXPECT_EQ(l.find("Endless"), std::string::npos);
    // Every frame was reported, then the end of the walk.
    EXPECT_EQ(walker.kinds.size(), frames.size() + 1);
    EXPECT_EQ(walker.kinds.back(), SEK_LAST);
  }
  {
    // The 1002nd such frame in a row ends the walk with the error line.
    CollectingWalker walker;
    const std::vector<StackFrame> frames = SelfReturning(1002, true);
    EXPECT_TRUE(walker.WalkFrames(frames.data(), static_cast<int>(frames.size())));
    const std::string expected =
        "ERROR: StackWalk64-Endless-Callstack!, GetLastError: 0 (Address: " + Hex(0x20) + ")\n";
    int endless = 0;
    for (const std::string& l : walker.lines) endless += l == expected;
    EXPECT_EQ(endless, 1);
    // The first frame and 1001 repeats were reported, then the end entry.
    EXPECT_EQ(walker.kinds.size(), 1u + 1001u + 1u);
    EXPECT_EQ(walker.kinds.back(), SEK_LAST);
  }
  {
    // A normal frame in between starts the count again.
    CollectingWalker walker;
    std::vector<StackFrame> frames = SelfReturning(900, true);
    const std::vector<StackFrame> more = SelfReturning(900, false);
    frames.pop_back();
    frames.insert(frames.end(), more.begin(), more.end());
    EXPECT_TRUE(walker.WalkFrames(frames.data(), static_cast<int>(frames.size())));
    for (const std::string& l : walker.lines) EXPECT_EQ(l.find("Endless"), std::string::npos);
  }
  {
    // A list that stops before a frame returning to 0 could not be walked to the bottom.
    CollectingWalker walker;
    const StackFrame frames[2] = {{0x40, 0x50}, {0x50, 0x60}};
    EXPECT_TRUE(walker.WalkFrames(frames, 2));
    EXPECT_EQ(walker.lines.back(), "ERROR: StackWalk64, GetLastError: 0 (Address: " + Hex(0x50) + ")\n");
    EXPECT_EQ(walker.kinds.back(), SEK_LAST);
    // Nothing to walk: only the error, and no end entry without a first one.
    CollectingWalker empty;
    EXPECT_TRUE(empty.WalkFrames(nullptr, 0));
    EXPECT_EQ(empty.lines.size(), 1u);
    EXPECT_TRUE(empty.kinds.empty());
  }
}

TEST(StackWalker, LineFormats) {
  CollectingWalker walker;
  StackEntry e;
  memset(&e, 0, sizeof(e));
  e.offset = 0x1234;
  // Nothing known about the frame.
  walker.OnStackEntry(SEK_FIRST, e);
  ASSERT_EQ(walker.lines.size(), 1u);
  EXPECT_EQ(walker.lines[0], Hex(0x1234) +
                                 " ((module-name not available)): (filename not available): "
                                 "(function-name not available)\n");
  // The richest name known is used.
  strcpy(e.moduleName, "game");
  strcpy(e.name, "_Z3fooi");
  walker.OnStackEntry(SEK_NEXT, e);
  EXPECT_EQ(walker.lines[1], Hex(0x1234) + " (game): (filename not available): _Z3fooi\n");
  strcpy(e.undName, "foo");
  walker.OnStackEntry(SEK_NEXT, e);
  EXPECT_EQ(walker.lines[2], Hex(0x1234) + " (game): (filename not available): foo\n");
  strcpy(e.undFullName, "foo(int)");
  walker.OnStackEntry(SEK_NEXT, e);
  EXPECT_EQ(walker.lines[3], Hex(0x1234) + " (game): (filename not available): foo(int)\n");
  // With a file, the file and line.
  strcpy(e.lineFileName, "world/wld.cpp");
  e.lineNumber = 42;
  walker.OnStackEntry(SEK_NEXT, e);
  EXPECT_EQ(walker.lines[4], "world/wld.cpp (42): foo(int)\n");
  // The end entry and an unknown address say nothing.
  walker.OnStackEntry(SEK_LAST, e);
  e.offset = 0;
  walker.OnStackEntry(SEK_NEXT, e);
  EXPECT_EQ(walker.lines.size(), 5u);
  // Lines are cut to 1023 characters and still end with a line feed.
  memset(e.undFullName, 'x', sizeof(e.undFullName) - 1);
  e.undFullName[sizeof(e.undFullName) - 1] = 0;
  e.offset = 0x1;
  walker.OnStackEntry(SEK_NEXT, e);
  EXPECT_EQ(walker.lines[5].size(), 1023u);
  EXPECT_EQ(walker.lines[5].back(), '\n');
  walker.OnServiceError("SymGetModuleInfo64", 126, 0xbeef);
  EXPECT_EQ(walker.lines[6], "ERROR: SymGetModuleInfo64, GetLastError: 126 (Address: " + Hex(0xbeef) + ")\n");
}

TEST(StackWalker, DescribeNamesExportedFunctions) {
  StackEntry e;
  memset(&e, 0, sizeof(e));
  // The C library's own address of getenv, not a stub in the test program.
  void* getenvAddress = dlsym(RTLD_DEFAULT, "getenv");
  ASSERT_NE(getenvAddress, nullptr);
  e.offset = reinterpret_cast<uintptr_t>(getenvAddress) + 1;
  ASSERT_TRUE(StackWalker::Describe(&e, e.offset));
  EXPECT_STREQ(e.symTypeString, "-exported-");
  EXPECT_STREQ(e.name, "getenv");
  EXPECT_STREQ(e.undName, "getenv");  // a C name reads as it is
  EXPECT_EQ(e.undFullName[0], 0);
  EXPECT_EQ(e.offsetFromSymbol, 1u);
  EXPECT_NE(e.moduleName[0], 0);
  EXPECT_NE(e.baseOfImage, 0u);
  // The crash path finds the same exported name in the module's own table, without the loader's
  // lock and without the demangler.
  memset(&e, 0, sizeof(e));
  e.offset = reinterpret_cast<uintptr_t>(getenvAddress) + 1;
  ASSERT_TRUE(StackWalker::DescribeSafe(&e, e.offset));
  EXPECT_STREQ(e.symTypeString, "-exported-");
  EXPECT_STREQ(e.name, "getenv");
  EXPECT_EQ(e.undName[0], 0);
  EXPECT_EQ(e.offsetFromSymbol, 1u);
  EXPECT_STREQ(e.moduleName, "libc.so.6");
  // A C++ function reads back demangled, in full and as its name alone.
  void* nowAddress = dlsym(RTLD_DEFAULT, "_ZNSt6chrono3_V212steady_clock3nowEv");
  ASSERT_NE(nowAddress, nullptr);
  memset(&e, 0, sizeof(e));
  e.offset = reinterpret_cast<uintptr_t>(nowAddress);
  ASSERT_TRUE(StackWalker::Describe(&e, e.offset));
  EXPECT_STREQ(e.undFullName, "std::chrono::_V2::steady_clock::now()");
  EXPECT_STREQ(e.undName, "std::chrono::_V2::steady_clock::now");
  // An address in no module.
  memset(&e, 0, sizeof(e));
  e.offset = 0x10;
  EXPECT_FALSE(StackWalker::Describe(&e, e.offset));
  EXPECT_EQ(e.moduleName[0], 0);
}

TEST(StackWalker, SearchPath) {
  unsetenv("_NT_SYMBOL_PATH");
  unsetenv("_NT_ALTERNATE_SYMBOL_PATH");
  unsetenv("SYSTEMROOT");
  char path[STACKWALKER_MAX_SEARCHPATH];
  StackWalker::SearchPathBuild(path, sizeof(path), nullptr, "/home/q", "C:/games/x.exe");
  EXPECT_STREQ(path, ".;/home/q;C:/games;");
  StackWalker::SearchPathBuild(path, sizeof(path), "sym", "/home/q", "x.exe");
  EXPECT_STREQ(path, "sym;.;/home/q;");  // no directory left: nothing added
  StackWalker::SearchPathBuild(path, sizeof(path), nullptr, "/w", "D:\\q\\game.exe");
  EXPECT_STREQ(path, ".;/w;D:\\q;");
  setenv("SYSTEMROOT", "C:\\Windows", 1);
  StackWalker::SearchPathBuild(path, sizeof(path), nullptr, "/w", "/opt/q/game");
  EXPECT_STREQ(path, ".;/w;/opt/q;C:\\Windows;C:\\Windows\\system32;");
  unsetenv("SYSTEMROOT");
  // A piece that does not fit is left out, and the text stays terminated.
  char small[8];
  StackWalker::SearchPathBuild(small, sizeof(small), nullptr, "/a/long/folder", "/p/x");
  EXPECT_STREQ(small, ".;/p;");
  // A walker given a path builds it on its first walk.
  CollectingWalker walker(0, "mysyms");
  const StackFrame frames[1] = {{0x10, 0}};
  walker.WalkFrames(frames, 1);
  EXPECT_EQ(walker.searchPath.rfind("mysyms;.;", 0), 0u);
  CollectingWalker plain;
  plain.WalkFrames(frames, 1);
  EXPECT_EQ(plain.searchPath, "");
}

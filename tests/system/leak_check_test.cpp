// The sanitizer build's leak check still reports a leak of ours with the project's suppressions loaded.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

#if defined(__SANITIZE_ADDRESS__)
// Written where the optimiser cannot drop it and cleared at once, so that only the leak checker's
// scan decides whether the blocks are still reachable.
char* volatile g_lastBlock = nullptr;

__attribute__((noinline)) void LeakBlocksOfOurs() {
  for (int i = 0; i < 16; ++i) g_lastBlock = new char[100];
  g_lastBlock = nullptr;
}

__attribute__((noinline)) int LeaksFound() {
  LeakBlocksOfOurs();
  return __lsan_do_recoverable_leak_check();
}
#endif

}  // namespace

// The suppressions name the libraries whose start-up allocations outlive the process; a line too
// broad there (a common frame, a whole allocator) would hide our own leaks without a sound.
TEST(LeakCheckDeathTest, ALeakOfOursIsReportedWithTheSuppressionsLoaded) {
#if !defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "only the address sanitizer build checks for leaks";
#else
  // The child starts afresh and reads the suppression file as it starts, as CI's runs do.
  const char* old = getenv("LSAN_OPTIONS");
  const std::string saved = old != nullptr ? old : "";
  setenv("LSAN_OPTIONS", "suppressions=" QUILLOMAR_SOURCE_DIR "/tools/lsan.supp:print_suppressions=0", 1);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(_exit(LeaksFound() != 0 ? 3 : 0), testing::ExitedWithCode(3),
              "LeakSanitizer: detected memory leaks.*LeakBlocksOfOurs");
  if (old != nullptr) {
    setenv("LSAN_OPTIONS", saved.c_str(), 1);
  } else {
    unsetenv("LSAN_OPTIONS");
  }
#endif
}

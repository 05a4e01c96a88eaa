// The lock that keeps a second game off a user folder that one game already uses.
#include "system/instance_lock.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "test_support.h"

namespace {

TEST(InstanceLock, TheSecondStartFindsTheFolderHeld) {
  const std::string folder = TestTempFolder("lock");
  EXPECT_EQ(InstanceLockAcquire(folder.c_str(), "quillomar.lock"), LOCK_TAKEN);
  // A second holder (another game, or this one asking twice) is refused while the first lives.
  EXPECT_EQ(InstanceLockAcquire(folder.c_str(), "quillomar.lock"), LOCK_HELD);
  InstanceLockRelease();
  EXPECT_EQ(InstanceLockAcquire(folder.c_str(), "quillomar.lock"), LOCK_TAKEN);
  InstanceLockRelease();
  InstanceLockRelease();  // holding none: nothing happens
  // A folder that is not there cannot be locked: the game is told, and does not start.
  EXPECT_EQ(InstanceLockAcquire((folder + "/missing").c_str(), "quillomar.lock"), LOCK_FAILED);
}

// A lock file that cannot be used guards nothing: a folder, a link (which would have the lock
// written outside the folder) or a FIFO (which would block the start) is refused with its reason,
// and the game then refuses to start as for a held lock.
TEST(InstanceLock, ALockFileThatCannotBeUsedIsRefusedWithTheReason) {
  struct Case {
    const char* what;
    void (*make)(const std::string& path, const std::string& outside);
    const char* reason;
  };
  const Case cases[] = {
      {"a folder", [](const std::string& p, const std::string&) { std::filesystem::create_directory(p); },
       "not a regular file"},
      {"a link", [](const std::string& p, const std::string& o) { std::filesystem::create_symlink(o, p); },
       "symbolic link"},
      {"a FIFO", [](const std::string& p, const std::string&) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); },
       "not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = TestTempFolder("badlock");
    const std::string outside = folder + "/outside.txt";
    std::ofstream(outside) << "keep me";
    c.make(folder + "/quillomar.lock", outside);
    EXPECT_EQ(InstanceLockAcquire(folder.c_str(), "quillomar.lock"), LOCK_FAILED);
    EXPECT_NE(std::string(InstanceLockProblem()).find(c.reason), std::string::npos) << InstanceLockProblem();
    std::ifstream in(outside);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), "keep me");
  }
  const std::string folder = TestTempFolder("goodlock");
  EXPECT_EQ(InstanceLockAcquire(folder.c_str(), "quillomar.lock"), LOCK_TAKEN);
  EXPECT_STREQ(InstanceLockProblem(), "");
  InstanceLockRelease();
}

}  // namespace

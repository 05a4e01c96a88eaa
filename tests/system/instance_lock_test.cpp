// The lock that keeps a second game off a user folder that one game already uses.
#include "system/instance_lock.h"

#include <gtest/gtest.h>

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
  // A folder that is not there cannot be locked: the game is told, and goes on unguarded.
  EXPECT_EQ(InstanceLockAcquire((folder + "/missing").c_str(), "quillomar.lock"), LOCK_FAILED);
}

}  // namespace

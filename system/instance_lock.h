// One running game per user folder: an advisory lock on a file that the second start finds held.
#pragma once

enum InstanceLockResult {
  LOCK_TAKEN = 0,    // this process now holds the folder
  LOCK_HELD = 1,     // another running game holds it
  LOCK_FAILED = -1,  // the lock file could not be made (logged); the game goes on unguarded
};

// Takes the lock on "<folder>/<name>" (created when missing) for the rest of the process or until
// InstanceLockRelease. The lock belongs to the open file, so a second take in the same process
// reports LOCK_HELD as well.
int InstanceLockAcquire(const char* folder, const char* name);
// Lets go of the lock this process took; nothing when it holds none.
void InstanceLockRelease();

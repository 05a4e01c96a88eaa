// One running game per user folder: an advisory lock on a file that the second start finds held.
#pragma once

enum InstanceLockResult {
  LOCK_TAKEN = 0,    // this process now holds the folder
  LOCK_HELD = 1,     // another running game holds it
  LOCK_FAILED = -1,  // the lock file cannot be used (a folder, a link, a FIFO, no room); logged
};

// Takes the lock on "<folder>/<name>" (created when missing) for the rest of the process or until
// InstanceLockRelease. The lock belongs to the open file, so a second take in the same process
// reports LOCK_HELD as well.
int InstanceLockAcquire(const char* folder, const char* name);
// Why the last InstanceLockAcquire failed, for the player ("" after a lock was taken or found held).
const char* InstanceLockProblem();
// Lets go of the lock this process took; nothing when it holds none.
void InstanceLockRelease();

// One running game per user folder: an advisory lock on a file that the second start finds held.
#include "system/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "utility/log.h"

namespace {
int lockFd = -1;
}

int InstanceLockAcquire(const char* folder, const char* name) {
  char path[512];
  const int n = snprintf(path, sizeof(path), "%s/%s", folder ? folder : ".", name ? name : "");
  if (n <= 0 || n >= static_cast<int>(sizeof(path))) {
    LOGE("The lock file's path is too long.");
    return LOCK_FAILED;
  }
  const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    LOGE("Cannot open the lock file '%s': %s", path, strerror(errno));
    return LOCK_FAILED;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    if (err == EWOULDBLOCK) return LOCK_HELD;
    LOGE("Cannot lock '%s': %s", path, strerror(err));
    return LOCK_FAILED;
  }
  // The holder's process id, for a person looking at the folder; the lock itself is what counts.
  char pid[32];
  const int len = snprintf(pid, sizeof(pid), "%d\n", static_cast<int>(getpid()));
  if (ftruncate(fd, 0) == 0 && write(fd, pid, len) != len) LOGW("Could not write the lock file '%s'.", path);
  if (lockFd >= 0) close(lockFd);
  lockFd = fd;
  return LOCK_TAKEN;
}

void InstanceLockRelease() {
  if (lockFd < 0) return;
  flock(lockFd, LOCK_UN);
  close(lockFd);
  lockFd = -1;
}

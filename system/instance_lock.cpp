// One running game per user folder: an advisory lock on a file that the second start finds held.
#include "system/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "utility/log.h"

namespace {
int lockFd = -1;
char problem[256];

int Refuse(const char* format, const char* path, const char* reason) {
  snprintf(problem, sizeof(problem), format, path, reason);
  LOGE("%s", problem);
  return LOCK_FAILED;
}
}  // namespace

const char* InstanceLockProblem() { return problem; }

int InstanceLockAcquire(const char* folder, const char* name) {
  problem[0] = 0;
  char path[512];
  const int n = snprintf(path, sizeof(path), "%s/%s", folder ? folder : ".", name ? name : "");
  if (n <= 0 || n >= static_cast<int>(sizeof(path)))
    return Refuse("The lock file's path is too long: %.200s%s", path, "");
  // Not waiting and not following a link: a FIFO would block the start for good, and a link
  // would have the lock (and the process id) written into a file outside the folder.
  const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0644);
  if (fd < 0) {
    const int err = errno;
    const char* reason = err == ELOOP    ? "it is a symbolic link"
                         : err == EISDIR ? "it is not a regular file"
                                         : strerror(err);
    return Refuse("Cannot open the lock file '%s': %s", path, reason);
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return Refuse("Cannot use the lock file '%s': %s", path, "it is not a regular file");
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    if (err == EWOULDBLOCK) return LOCK_HELD;
    return Refuse("Cannot lock '%s': %s", path, strerror(err));
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

// Files by name in the data and user folders over POSIX descriptors, and the folder rules.
#include "system/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "utility/log.h"

bool (*fileOpenRefuseHook)(const char* path, int access) = nullptr;

namespace {

// Written at start-up and shut-down only; every thread may read them in between.
FixedString userFolder;
FixedString dataFolder;

// The descriptor behind a handle, or -1 for "no file" and for values no open ever gave.
int DescriptorOf(FileHandle file) {
  if (file == 0 || file - 1 > static_cast<FileHandle>(INT_MAX)) return -1;
  return static_cast<int>(file - 1);
}

// Copies a folder without its trailing separators; a lone "/" stays the root.
bool FolderCopy(FixedString* out, const char* text, const char* what) {
  size_t n = text ? strlen(text) : 0;
  while (n > 1 && text[n - 1] == '/') n--;
  if (n > FixedString::c_maxLength) {
    LOGE("The %s folder is longer than %d characters: %.60s...", what, FixedString::c_maxLength, text);
    return false;
  }
  out->Clear();
  if (n > 0) out->Format("%.*s", static_cast<int>(n), text);
  return true;
}

bool IsFolder(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// mkdir -p: creates each missing folder along the path.
bool FoldersMake(const char* path) {
  FixedString part(path);
  for (int i = 1; i <= part.Length(); i++) {
    if (i < part.Length() && part.m_text[i] != '/') continue;
    char keep = part.m_text[i];
    part.m_text[i] = 0;
    if (mkdir(part.m_text, 0700) != 0 && errno != EEXIST) {
      LOGE("Could not make the folder %s: %s", part.m_text, strerror(errno));
      return false;
    }
    part.m_text[i] = keep;
  }
  if (!IsFolder(path)) {
    LOGE("%s is not a folder", path);
    return false;
  }
  return true;
}

}  // namespace

bool FilePathMake(FixedString* out, const char* name, bool user) {
  out->Clear();
  const FixedString& folder = user ? userFolder : dataFolder;
  if (!name) {
    LOGE("FileOpen without a file name");
    return false;
  }
  // An empty folder would address the file at the root of the file system.
  if (folder.Empty()) {
    LOGE("The %s folder is not set; %s refused", user ? "user" : "data", name);
    return false;
  }
  size_t length = static_cast<size_t>(folder.Length()) + 1 + strlen(name);
  // A cut path names another file; writing there could clobber it.
  if (length > FixedString::c_maxLength) {
    LOGE("Path of %zu characters is longer than %d; %.60s... refused", length, FixedString::c_maxLength, name);
    return false;
  }
  out->Format("%s/%s", folder.c_str(), name);
  for (int i = folder.Length() + 1; i < out->Length(); i++)
    if (out->m_text[i] == '\\') out->m_text[i] = '/';
  return true;
}

FileHandle FileOpen(const char* name, bool user, int access, int creation) {
  FixedString path;
  if (!FilePathMake(&path, name, user)) return 0;
  return FileOpenPath(path.c_str(), access, creation);
}

FileHandle FileOpenPath(const char* path, int access, int creation) {
  int flags = 0;
  switch (access) {
    case FA_READ:
      flags = O_RDONLY;
      break;
    case FA_WRITE:
      flags = O_WRONLY;
      break;
    case FA_READ | FA_WRITE:
      flags = O_RDWR;
      break;
    default:
      LOGE("FileOpen of %s with unknown access %d", path ? path : "(null)", access);
      return 0;
  }
  switch (creation) {
    case FC_OPEN_EXISTING:
      break;
    // Truncation waits until the lock is held, so a file in use is never emptied.
    case FC_CREATE_ALWAYS:
      flags |= O_CREAT;
      break;
    case FC_OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case FC_CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    default:
      LOGE("FileOpen of %s with unknown creation %d", path ? path : "(null)", creation);
      return 0;
  }
  if (!path || !path[0]) {
    LOGE("FileOpen without a file name");
    return 0;
  }
  if (fileOpenRefuseHook && fileOpenRefuseHook(path, access)) {
    errno = EACCES;
    return 0;
  }
  // A link at the name of a file being written would send the bytes to whatever it points to.
  if (access & FA_WRITE) flags |= O_NOFOLLOW;

  // Opened without waiting: a FIFO (or a device) of that name would otherwise block the open
  // for good before it could be told from a file. Waiting is switched back on once it is known
  // to be a regular file.
  int fd = open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) {
    const int err = errno;
    if (err == ELOOP && (access & FA_WRITE))
      LOGE("%s is a symbolic link; it is not written through.", path);
    else if (err == ENXIO)
      LOGE("%s is not a regular file; it is not opened.", path);
    errno = err;
    return 0;
  }
  struct stat info;
  const bool known = fstat(fd, &info) == 0;
  // Folders and devices are not files of the game; a folder would open and then fail to read.
  if (!known || !S_ISREG(info.st_mode)) {
    LOGE("%s is not a regular file; it is not opened.", path);
    const bool folder = known && S_ISDIR(info.st_mode);
    close(fd);
    errno = folder ? EISDIR : EINVAL;
    return 0;
  }
  const int status = fcntl(fd, F_GETFL);
  if (status == -1 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
    LOGE("Could not open %s: %s", path, strerror(errno));
    close(fd);
    return 0;
  }
  // No sharing with writers: a file being written cannot be opened again, and a file
  // being read cannot be opened for writing. Readers share, so that several processes
  // (tools, tests) can read the same planet dump at once.
  int lock = (access == FA_READ) ? LOCK_SH : LOCK_EX;
  if (flock(fd, lock | LOCK_NB) != 0) {
    close(fd);
    errno = EWOULDBLOCK;
    return 0;
  }
  if (creation == FC_CREATE_ALWAYS && ftruncate(fd, 0) != 0) {
    LOGE("Could not truncate %s: %s", path, strerror(errno));
    close(fd);
    return 0;
  }
  return static_cast<FileHandle>(fd) + 1;
}

FileHandle FileOpenRead(const char* name, bool user) { return FileOpen(name, user, FA_READ, FC_OPEN_EXISTING); }

FileHandle FileOpenWrite(const char* name, bool user) { return FileOpen(name, user, FA_WRITE, FC_CREATE_ALWAYS); }

FILE* FileStreamOpenWrite(const char* path) {
  if (!path || !path[0]) return nullptr;
  const int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0666);
  if (fd < 0) {
    if (errno == ELOOP) LOGE("%s is a symbolic link; it is not written through.", path);
    if (errno == ENXIO) LOGE("%s is not a regular file; it is not written.", path);
    return nullptr;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    LOGE("%s is not a regular file; it is not written.", path);
    close(fd);
    return nullptr;
  }
  const int status = fcntl(fd, F_GETFL);
  if (status == -1 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1 || ftruncate(fd, 0) != 0) {
    LOGE("Could not open %s for writing: %s", path, strerror(errno));
    close(fd);
    return nullptr;
  }
  FILE* stream = fdopen(fd, "wb");
  if (!stream) close(fd);
  return stream;
}

bool FilePresent(const char* name, bool user) {
  FixedString path;
  if (!FilePathMake(&path, name, user)) return false;
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

bool FolderPresent(const char* name, bool user) {
  FixedString path;
  if (!FilePathMake(&path, name, user)) return false;
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileExists(const char* name, bool user) {
  FileHandle file = FileOpenRead(name, user);
  if (!file) return false;
  FileClose(file);
  return true;
}

void FileRemove(const char* name, bool user) {
  FixedString path;
  if (!FilePathMake(&path, name, user)) return;
  // unlink, not remove: remove would take an empty folder of that name away too.
  if (unlink(path.c_str()) != 0 && errno != ENOENT) LOGW("Could not remove %s: %s", path.c_str(), strerror(errno));
}

FileHandle FileCreateTemporary(const char* name, bool user) {
  FixedString path;
  if (!FilePathMake(&path, name, user)) return 0;
  struct stat info;
  if (lstat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      LOGE("%s is a folder; it cannot be used to write into.", path.c_str());
      return 0;
    }
    LOGW("Removing %s, left behind by an earlier write that did not finish.", path.c_str());
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
      LOGE("Could not remove %s: %s", path.c_str(), strerror(errno));
      return 0;
    }
  }
  const FileHandle file = FileOpenPath(path.c_str(), FA_WRITE, FC_CREATE_NEW);
  if (!file) LOGE("Could not create %s: %s", path.c_str(), strerror(errno));
  return file;
}

bool FileWriteAtomic(const char* name, bool user, const void* data, size_t count) {
  FixedString temporary;
  if (!name || !FilePathMake(&temporary, name, user)) return false;
  temporary.Format("%s.tmp", name);
  const FileHandle file = FileCreateTemporary(temporary.c_str(), user);
  if (!file) {
    LOGE("Could not write %s; the old file is kept.", name);
    return false;
  }
  const bool written = FileWrite(file, data, count) == count && FileFlush(file);
  FileClose(file);
  if (!written || !FileRename(temporary.c_str(), name, user)) {
    FileRemove(temporary.c_str(), user);
    LOGE("Could not write %s; the old file is kept.", name);
    return false;
  }
  return true;
}

size_t FileRead(FileHandle file, void* buffer, size_t count) {
  int fd = DescriptorOf(file);
  if (fd < 0 || count == 0) return 0;
  if (!buffer) {
    LOGE("FileRead into a null buffer");
    return 0;
  }
  // One read gives the whole block for a file on disk; the loop covers signals and pipes.
  size_t done = 0;
  while (done < count) {
    size_t chunk = count - done;
    if (chunk > SSIZE_MAX) chunk = SSIZE_MAX;
    ssize_t got = read(fd, static_cast<char*>(buffer) + done, chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      LOGE("FileRead failed: %s", strerror(errno));
      break;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

size_t FileWrite(FileHandle file, const void* buffer, size_t count) {
  int fd = DescriptorOf(file);
  if (fd < 0 || count == 0) return 0;
  if (!buffer) {
    LOGE("FileWrite from a null buffer");
    return 0;
  }
  size_t done = 0;
  while (done < count) {
    size_t chunk = count - done;
    if (chunk > SSIZE_MAX) chunk = SSIZE_MAX;
    ssize_t put = write(fd, static_cast<const char*>(buffer) + done, chunk);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      LOGE("FileWrite failed: %s", put < 0 ? strerror(errno) : "nothing written");
      break;
    }
    done += static_cast<size_t>(put);
  }
  return done;
}

uint64_t FileSize(FileHandle file) {
  int fd = DescriptorOf(file);
  if (fd < 0) return 0;
  struct stat info;
  if (fstat(fd, &info) != 0 || info.st_size < 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

void FileClose(FileHandle file) {
  int fd = DescriptorOf(file);
  if (fd < 0) return;
  // Closing the last descriptor of the open file releases its lock.
  close(fd);
}

bool FileSeek(FileHandle file, uint64_t offset) {
  int fd = DescriptorOf(file);
  if (fd < 0 || offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

bool FileFlush(FileHandle file) {
  int fd = DescriptorOf(file);
  if (fd < 0) return false;
  if (fsync(fd) != 0) {
    LOGE("FileFlush failed: %s", strerror(errno));
    return false;
  }
  return true;
}

bool FileRename(const char* from, const char* to, bool user) {
  FixedString a, b;
  if (!FilePathMake(&a, from, user) || !FilePathMake(&b, to, user)) return false;
  if (rename(a.c_str(), b.c_str()) != 0) {
    LOGE("Could not rename %s to %s: %s", a.c_str(), b.c_str(), strerror(errno));
    return false;
  }
  // The new name is an entry of the folder: it reaches the disk when the folder does.
  const FixedString& folder = user ? userFolder : dataFolder;
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0 || fsync(dir) != 0) LOGW("Could not push the folder %s to the disk: %s", folder.c_str(), strerror(errno));
  if (dir >= 0) close(dir);
  return true;
}

bool FoldersSet(const char* user, const char* data) {
  FixedString u, d;
  if (!FolderCopy(&u, user, "user") || !FolderCopy(&d, data, "data")) return false;
  userFolder = u;
  dataFolder = d;
  return true;
}

const char* DataFolderGet() { return dataFolder.c_str(); }

const char* UserFolderGet() { return userFolder.c_str(); }

void UserFolderClear() { userFolder.Clear(); }

bool UserFolderResolve(FixedString* out) {
  out->Clear();
  FixedString folder;
  const char* own = getenv("QUILLOMAR_USER_DIR");
  const char* xdg = getenv("XDG_DATA_HOME");
  const char* home = getenv("HOME");
  bool fits = true;
  if (own && *own) {
    fits = FolderCopy(&folder, own, "user");
  } else {
    // The base-directory rules say a relative XDG_DATA_HOME is to be ignored.
    if (xdg && *xdg && xdg[0] != '/') LOGW("XDG_DATA_HOME is not an absolute path; ignored");
    const char* base = xdg && xdg[0] == '/' ? xdg : home;
    const char* below = xdg && xdg[0] == '/' ? "quillomar" : ".local/share/quillomar";
    if (!base || !*base) {
      LOGE("No user folder: QUILLOMAR_USER_DIR, XDG_DATA_HOME and HOME are all unset or empty");
      return false;
    }
    size_t n = strlen(base);
    while (n > 1 && base[n - 1] == '/') n--;
    if (n + 1 + strlen(below) > FixedString::c_maxLength) {
      LOGE("The user folder under %.60s... is longer than %d characters", base, FixedString::c_maxLength);
      fits = false;
    } else {
      folder.Format("%.*s/%s", static_cast<int>(n), base, below);
    }
  }
  if (!fits) return false;
  if (!FoldersMake(folder.c_str())) {
    LOGE("No user folder: %s cannot be made", folder.c_str());
    return false;
  }
  *out = folder;
  return true;
}

bool DataFolderResolve(FixedString* out) {
  out->Clear();
  const char* own = getenv("QUILLOMAR_DATA_DIR");
  FixedString folder;
  if (!FolderCopy(&folder, own && *own ? own : ".", "data")) return false;
  if (!IsFolder(folder.c_str())) {
    LOGE("The data folder %s is not a folder", folder.c_str());
    return false;
  }
  *out = folder;
  return true;
}

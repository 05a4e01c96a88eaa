// Files by name in the data folder and the user folder, and the rules that find those folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "utility/fixed_string.h"

// An open file. 0 means "no file": every call below accepts it and does nothing, so callers
// can chain open, read or write and close and test only the byte counts. An open file is
// never 0, even when the process runs without standard input and the system hands out
// descriptor 0 (the handle is the descriptor plus one).
typedef uint64_t FileHandle;

// Access for FileOpen; combine both for reading and writing.
enum FileAccess {
  FA_READ = 1,
  FA_WRITE = 2,
};

// What FileOpen does when the file is there or missing.
enum FileCreation {
  FC_OPEN_EXISTING = 0,  // fail when missing
  FC_CREATE_ALWAYS = 1,  // create, or truncate an existing file to 0 bytes
  FC_OPEN_ALWAYS = 2,    // create when missing, keep the contents otherwise
  FC_CREATE_NEW = 3,     // fail when it already exists
};

// Opens "<folder>/<name>" in the user folder (userFolder true) or the data folder. A backslash
// in the name is taken as a folder separator. The open is exclusive: while one handle holds
// a file, any other open of it fails (an advisory lock, so it binds this program and its
// tools, not every process on the machine). Gives 0 when the file cannot be opened; the
// usual "not there" or "in use" failures log nothing, callers decide what they mean. A path
// longer than 254 characters or an empty folder is refused with a log line, rather than
// opening a cut path or a file at the root of the file system.
// Every open follows the same rules, so no caller can be stalled or misled by what it finds
// under a name: the open never waits (a FIFO or a device is refused, with a log line, instead
// of blocking for good), only a regular file is opened, and an open for writing does not follow
// a symbolic link at the final name (it would write the file the link points to, outside the
// folder).
FileHandle FileOpen(const char* name, bool userFolder, int access, int creation);
// FileOpen on a full path, for the few files that live beside the folders' rules (the store
// platform's record, the instance lock's folder); the same rules apply.
FileHandle FileOpenPath(const char* path, int access, int creation);
// An existing file for reading.
FileHandle FileOpenRead(const char* name, bool userFolder);
// A file for writing, created or truncated to 0 bytes.
FileHandle FileOpenWrite(const char* name, bool userFolder);
// True when FileOpenRead succeeds (the file is closed again): false for a missing file and for
// one that another handle holds open.
bool FileExists(const char* name, bool userFolder);
// True when anything of that name is there, whether or not it can be opened (held by another
// handle, no permission, not a regular file): a file that exists but cannot be read is not the
// same as no file, and must not be replaced as if there were none.
bool FilePresent(const char* name, bool userFolder);
// True when a folder of that name is there (the name is then no file's, and cannot become one).
bool FolderPresent(const char* name, bool userFolder);
// A stdio stream writing the file at a full path, created or emptied; null (with a log line)
// when it cannot be opened or is not a regular file (a FIFO is refused without blocking, a
// symbolic link is not followed).
FILE* FileStreamOpenWrite(const char* path);
// Deletes the file (a symbolic link itself, never what it points to); a missing file is
// silent. A folder of that name is left alone: it is not the game's to delete.
void FileRemove(const char* name, bool userFolder);
// Opens "name" for writing as a new file of its own: a stale one left by an interrupted write
// (or a link planted under that name) is removed first, then the file is created exclusively,
// so nothing that was there before is written through. 0 when that cannot be done.
FileHandle FileCreateTemporary(const char* name, bool userFolder);
// Replaces the file with the given bytes as a save is written: into "<name>.tmp", pushed to the
// disk, renamed over the name. A failure (full disk, read-only folder) keeps the old file; false
// with a log line.
bool FileWriteAtomic(const char* name, bool userFolder, const void* data, size_t count);

// Tests only: when set, an open for which it returns true fails as a file the process may not
// read or write would (a test running as root cannot make one with permission bits).
extern bool (*fileOpenRefuseHook)(const char* path, int access);

// Reads up to count bytes; the bytes actually read (fewer at the end of the file). 0 for handle 0.
size_t FileRead(FileHandle file, void* buffer, size_t count);
// Writes count bytes; the bytes actually written. 0 for handle 0.
size_t FileWrite(FileHandle file, const void* buffer, size_t count);
// The size in bytes; 0 for handle 0 or when it cannot be had.
uint64_t FileSize(FileHandle file);
// Closes the file and releases its lock; handle 0 is ignored.
void FileClose(FileHandle file);
// Moves the read/write position to offset bytes from the start; false for handle 0 or a failed seek.
bool FileSeek(FileHandle file, uint64_t offset);
// Pushes what was written down to the disk; false (with a log line) when that fails or for handle 0.
bool FileFlush(FileHandle file);
// Renames a file within one folder, replacing a file of the new name in one step, so a reader
// sees either the old file or the new one, never a half-written one; the folder is then pushed
// to the disk, so the rename survives a power cut. False with a log line.
bool FileRename(const char* from, const char* to, bool userFolder);

// Sets both folders (trailing separators are dropped). False, with both left unchanged, when
// a folder does not fit a FixedString.
bool FoldersSet(const char* userFolder, const char* dataFolder);
const char* DataFolderGet();
const char* UserFolderGet();
// Empties the user folder at shut-down; later opens in it are refused.
void UserFolderClear();
// The full path FileOpen uses for a name: false, with a log line, when it cannot be made.
bool FilePathMake(FixedString* out, const char* name, bool userFolder);

// The user data folder: $QUILLOMAR_USER_DIR when set and non-empty, else
// $XDG_DATA_HOME/quillomar (an absolute XDG_DATA_HOME only), else $HOME/.local/share/quillomar.
// Creates it with its parents when missing. False, with a log line and out empty, when no
// folder can be named or made: an empty folder would put the save at the file-system root.
bool UserFolderResolve(FixedString* out);
// The data folder: "." (the current directory, where the game's data lives), or
// $QUILLOMAR_DATA_DIR when set and non-empty, so tests and tools can run from anywhere.
// False, with a log line, when that is not a folder.
bool DataFolderResolve(FixedString* out);

// Shared set-up of the fuzz targets: private folders, assertions that stop the run, small readers of the input.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "system/file.h"
#include "utility/log.h"

namespace fuzz {

// Hostile input must be refused with a log line, never reach an impossible state: an assertion
// inside a reader is a finding, so it stops the run where libFuzzer can see it. A target that
// expects an assertion for some input lowers `assertsAllowed` around that call.
inline int assertsAllowed = 0;
inline int assertsSeen = 0;
// Assertions (by their reported text) that a target's input may trip by design, null-terminated.
inline const char* const* expectedAsserts = nullptr;

inline void AbortOnAssert(const char* expression, const char* file, int line) {
  ++assertsSeen;
  if (assertsAllowed > 0) return;
  for (const char* const* e = expectedAsserts; e && *e; ++e)
    if (!strcmp(*e, expression)) return;
  fprintf(stderr, "fuzz: assertion %s at %s:%d\n", expression, file, line);
  abort();
}

inline std::string& TempFolder() {
  static std::string folder;
  return folder;
}

inline void RemoveTempFolder() {
  std::error_code ignored;
  if (!TempFolder().empty()) std::filesystem::remove_all(TempFolder(), ignored);
}

// A private user folder under the system's temporary folder (or /dev/shm), removed at exit; the data folder is
// QUILLOMAR_DATA_DIR, else the build folder this target was built in (its data/ is made by the
// build), else the user folder itself (for targets that read only what they write).
inline void SetUpFolders(bool needData) {
  // In memory where the system has such a folder: a save waits for the disk, which would make
  // the simulation's targets many times slower.
  std::error_code ignored;
  const bool shm = std::filesystem::is_directory("/dev/shm", ignored) && access("/dev/shm", W_OK) == 0;
  std::string pattern =
      (shm ? std::string("/dev/shm") : std::filesystem::temp_directory_path().string()) + "/quillomar_fuzz_XXXXXX";
  if (!mkdtemp(pattern.data())) {
    perror("fuzz: mkdtemp");
    abort();
  }
  TempFolder() = pattern;
  atexit(RemoveTempFolder);
  std::string data = pattern;
  if (needData) {
    const char* env = getenv("QUILLOMAR_DATA_DIR");
    data = env && *env ? env : QUILLOMAR_FUZZ_BUILD_DIR;
  }
  if (!FoldersSet(pattern.c_str(), data.c_str())) abort();
  assertHook = AbortOnAssert;
}

// Writes the bytes as a file of the user folder (or the data folder); aborts when it cannot.
inline void WriteFile(const char* name, bool userFolder, const uint8_t* data, size_t size) {
  FileHandle f = FileOpenWrite(name, userFolder);
  if (!f || FileWrite(f, data, size) != size) {
    fprintf(stderr, "fuzz: cannot write %s\n", name);
    abort();
  }
  FileClose(f);
}

// Takes bytes from the front of the input; zeros once it runs out.
struct Input {
  const uint8_t* data;
  size_t size;

  uint8_t Byte() {
    if (!size) return 0;
    --size;
    return *data++;
  }
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(Byte()) << (8 * i);
    return v;
  }
  // Up to the next NUL or line feed (not included) or the end: a message of the input.
  std::string Line() {
    size_t n = 0;
    while (n < size && data[n] != 0 && data[n] != '\n') ++n;
    std::string line(reinterpret_cast<const char*>(data), n);
    data += n, size -= n;
    if (size) ++data, --size;
    return line;
  }
};

// Reads every byte of a block the reader handed back, so AddressSanitizer sees any of it that
// lies outside the input.
inline uint32_t Touch(const void* p, size_t n) {
  const volatile uint8_t* b = static_cast<const uint8_t*>(p);
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += b[i];
  return sum;
}

}  // namespace fuzz

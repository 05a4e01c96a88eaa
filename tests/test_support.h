// Test support: assertion recording, a temporary user folder per test program, and the built data folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// While an ExpectAsserts is alive, failed assertions are recorded instead of failing
// the test. Outside one, any assertion that fires fails the running test.
class ExpectAsserts {
 public:
  ExpectAsserts();
  ~ExpectAsserts();
  int Count() const { return static_cast<int>(m_seen.size()); }
  const std::vector<std::string>& Seen() const { return m_seen; }
  bool Saw(const std::string& expression) const;

 private:
  std::vector<std::string> m_seen;
  ExpectAsserts* m_previous;
  friend void RecordAssert(const char*, const char*, int);
};

void RecordAssert(const char* expression, const char* file, int line);

// A fresh empty folder under the system's temporary folder, removed with its contents
// when the test program ends.
std::string TestTempFolder(const char* tag);

// The folder the build generated its data/ into: QUILLOMAR_DATA_DIR, which ctest sets to the
// build folder, or the fallback when it is not set or empty.
std::string DataDir(const char* fallback = ".");

// The whole file as bytes; empty when it cannot be read.
std::vector<uint8_t> ReadAll(const std::string& path);

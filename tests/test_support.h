// Test support: assertion recording and a temporary user folder per test program.
#pragma once

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

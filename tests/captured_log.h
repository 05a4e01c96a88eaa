// Captures the log lines written while a test runs, to check that failures say something.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "utility/log.h"

// While alive, every log line (without its "ERR "/"WRN " prefix) is kept in order. Lines may
// come from worker threads, hence the lock. Only one may be alive at a time.
class CapturedLog {
 public:
  CapturedLog() {
    std::lock_guard<std::mutex> guard(Lock());
    Lines().clear();
    consoleHook = Hook;
  }
  ~CapturedLog() { consoleHook = nullptr; }
  int Count() const {
    std::lock_guard<std::mutex> guard(Lock());
    return static_cast<int>(Lines().size());
  }
  // Line i in the order written, or "" past the end.
  std::string Line(int i) const {
    std::lock_guard<std::mutex> guard(Lock());
    return i >= 0 && i < static_cast<int>(Lines().size()) ? Lines()[i] : std::string();
  }
  // Forgets the lines so far, to look only at what follows.
  void Clear() {
    std::lock_guard<std::mutex> guard(Lock());
    Lines().clear();
  }
  // The index of the first line at or after `from` that contains the text, or -1.
  int Find(const char* text, int from = 0) const {
    std::lock_guard<std::mutex> guard(Lock());
    for (size_t i = from; i < Lines().size(); ++i)
      if (Lines()[i].find(text) != std::string::npos) return static_cast<int>(i);
    return -1;
  }
  int Find(const std::string& text, int from = 0) const { return Find(text.c_str(), from); }
  // True when some line contains the text.
  bool Has(const char* text) const { return Find(text) >= 0; }
  // True when some line is exactly the text.
  bool HasLine(const std::string& line) const {
    std::lock_guard<std::mutex> guard(Lock());
    for (const std::string& l : Lines())
      if (l == line) return true;
    return false;
  }
  // The number of lines that start with the text.
  int CountPrefix(const std::string& start) const {
    std::lock_guard<std::mutex> guard(Lock());
    int n = 0;
    for (const std::string& l : Lines()) n += l.compare(0, start.size(), start) == 0;
    return n;
  }
  // True when some line starts with the text.
  bool HasPrefix(const std::string& start) const { return CountPrefix(start) > 0; }

 private:
  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }
  static std::mutex& Lock() {
    static std::mutex lock;
    return lock;
  }
  static void Hook(const char* format, ...) {
    char line[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    std::lock_guard<std::mutex> guard(Lock());
    Lines().push_back(line);
  }
};

// Captures the log lines written while a test runs, to check that failures say something.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "utility/log.h"

// While alive, every log line (without its "ERR "/"WRN " prefix) is kept. Lines may come
// from worker threads, hence the lock.
class LogLines {
 public:
  LogLines() {
    Lines().clear();
    consoleHook = Hook;
  }
  ~LogLines() { consoleHook = nullptr; }
  int Count() const {
    std::lock_guard<std::mutex> guard(Lock());
    return static_cast<int>(Lines().size());
  }
  // True when some line starts with the text.
  bool Has(const char* start) const {
    std::lock_guard<std::mutex> guard(Lock());
    for (const std::string& line : Lines())
      if (line.rfind(start, 0) == 0) return true;
    return false;
  }

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

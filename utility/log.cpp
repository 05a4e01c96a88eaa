// Logging and assertions: every line goes to stdout, the log file and the console hook.
#include "utility/log.h"

#include <cstdarg>
#include <cstring>
#include <mutex>

FILE* logFile = nullptr;
LogHookFn consoleHook = nullptr;
LogHookFn messageHook = nullptr;
AssertHookFn assertHook = nullptr;

namespace {

// The planning and pathing threads log too; one lock keeps lines whole.
std::recursive_mutex logLock;

const char* StripPrefix(const char* text) {
  if (strncmp(text, "ERR ", 4) == 0 || strncmp(text, "WRN ", 4) == 0) return text + 4;
  return text;
}

void Emit(bool event, const char* format, va_list args) {
  char line[4096];
  vsnprintf(line, sizeof(line), format, args);
  std::lock_guard<std::recursive_mutex> guard(logLock);
  fputs(line, stdout);
  fputc('\n', stdout);
  fflush(stdout);
  if (logFile) {
    fputs(line, logFile);
    fputc('\n', logFile);
    fflush(logFile);
  }
  const char* bare = StripPrefix(line);
  if (consoleHook) consoleHook("%s", bare);
  if (event && messageHook) messageHook("%s", bare);
}

}  // namespace

void LogPrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(false, format, args);
  va_end(args);
}

void LogEvent(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(true, format, args);
  va_end(args);
}

void AssertFailed(const char* expression, const char* file, int line, const char* detailFormat, ...) {
  if (detailFormat) {
    char detail[1024];
    va_list args;
    va_start(args, detailFormat);
    vsnprintf(detail, sizeof(detail), detailFormat, args);
    va_end(args);
    LogPrint("ASSERT FAILED at %s(%d):  %s / %s", file, line, expression, detail);
  } else {
    LogPrint("ASSERT FAILED at %s(%d):  %s", file, line, expression);
  }
  if (assertHook) assertHook(expression, file, line);
}

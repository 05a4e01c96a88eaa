// Logging and assertions: every line goes to stdout, the log file and the console hook.
#pragma once

#include <cstdio>

// A line hook takes a printf format and its arguments. The hooks see the text
// without the "ERR "/"WRN " prefix that stdout and the log file carry.
typedef void (*LogHookFn)(const char* format, ...);
// The assertion hook gets the failed condition, the source file and the line.
typedef void (*AssertHookFn)(const char* expression, const char* file, int line);

extern FILE* logFile;            // opened by main in the user folder; may stay null
extern LogHookFn consoleHook;    // the overlay's console, every line
extern LogHookFn messageHook;    // the overlay's message list, player-facing lines only
extern AssertHookFn assertHook;  // main's assertion dialog; tests install a recorder

// Writes one formatted line (a newline is added). A format starting with "ERR " or
// "WRN " is an error or warning line; the hooks get it without that prefix.
// Safe to call from any thread.
void LogPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Like LogPrint, and the text also goes to messageHook: the player-facing event lines.
void LogEvent(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Logs "ASSERT FAILED at %s(%d):  %s" (with " / " and the detail when one is given),
// then calls assertHook. Execution continues.
void AssertFailed(const char* expression, const char* file, int line, const char* detailFormat = nullptr, ...)
    __attribute__((format(printf, 4, 5)));

#define LOGI(...) LogPrint(__VA_ARGS__)
#define LOGE(fmt, ...) LogPrint("ERR " fmt __VA_OPT__(, ) __VA_ARGS__)
#define LOGW(fmt, ...) LogPrint("WRN " fmt __VA_OPT__(, ) __VA_ARGS__)

// Assertions log and go on: an impossible state is reported, never fatal.
#define ASSERT(cond)                                      \
  do {                                                    \
    if (!(cond)) AssertFailed(#cond, __FILE__, __LINE__); \
  } while (0)
// An assertion with a formatted detail appended after " / ".
#define ASSERTM(cond, ...)                                             \
  do {                                                                 \
    if (!(cond)) AssertFailed(#cond, __FILE__, __LINE__, __VA_ARGS__); \
  } while (0)
// An assertion whose reported text is given rather than taken from the condition.
#define ASSERTT(cond, text)                              \
  do {                                                   \
    if (!(cond)) AssertFailed(text, __FILE__, __LINE__); \
  } while (0)

// Assertions that also leave the function when they fail, for the checks that guard what
// follows: the condition is written once, so the guard cannot drift from what is reported.
// Each logs exactly as its plain form does and then returns; a true condition does nothing.
//   ASSERT_OR_RETURN(cond, retval)                like ASSERT(cond), then return retval
//   ASSERTM_OR_RETURN(cond, retval, format, ...)  like ASSERTM(cond, format, ...), then return retval
//   ASSERTT_OR_RETURN(cond, retval, text)         like ASSERTT(cond, text), then return retval
//   ASSERT_OR_RETURN_VOID(cond), ASSERTM_OR_RETURN_VOID(cond, format, ...) and
//   ASSERTT_OR_RETURN_VOID(cond, text) do the same in functions that return nothing.
#define ASSERT_OR_RETURN(cond, retval)         \
  do {                                         \
    if (!(cond)) {                             \
      AssertFailed(#cond, __FILE__, __LINE__); \
      return retval;                           \
    }                                          \
  } while (0)
#define ASSERTM_OR_RETURN(cond, retval, ...)                \
  do {                                                      \
    if (!(cond)) {                                          \
      AssertFailed(#cond, __FILE__, __LINE__, __VA_ARGS__); \
      return retval;                                        \
    }                                                       \
  } while (0)
#define ASSERTT_OR_RETURN(cond, retval, text) \
  do {                                        \
    if (!(cond)) {                            \
      AssertFailed(text, __FILE__, __LINE__); \
      return retval;                          \
    }                                         \
  } while (0)
#define ASSERT_OR_RETURN_VOID(cond)            \
  do {                                         \
    if (!(cond)) {                             \
      AssertFailed(#cond, __FILE__, __LINE__); \
      return;                                  \
    }                                          \
  } while (0)
#define ASSERTM_OR_RETURN_VOID(cond, ...)                   \
  do {                                                      \
    if (!(cond)) {                                          \
      AssertFailed(#cond, __FILE__, __LINE__, __VA_ARGS__); \
      return;                                               \
    }                                                       \
  } while (0)
#define ASSERTT_OR_RETURN_VOID(cond, text)    \
  do {                                        \
    if (!(cond)) {                            \
      AssertFailed(text, __FILE__, __LINE__); \
      return;                                 \
    }                                         \
  } while (0)

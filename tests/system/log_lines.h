// Log capture for the system tests, where a failure is checked by the start of its line.
#pragma once

#include "captured_log.h"

// A captured log whose Has asks whether some line starts with the text.
class LogLines : public CapturedLog {
 public:
  bool Has(const char* start) const { return HasPrefix(start); }
};

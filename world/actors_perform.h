// Performing plan steps: the dispatcher over action-name prefixes, stepping back, and the walking, finding and
// scavenging steps.
#pragma once

#include "world/actors.h"

// A step handler gets the character, the step's whole action name and the step length; it
// returns the plan stage reached (0 or more) or a negative value, which gives the plan up.
typedef int (*StepHandler)(Actors& actors, int nr, const char* name, float dt);

// Rows of the dispatch table, tried in order; the first whose prefix matches the name wins.
#define NUMSTEPHANDLERS 27

struct StepHandlerRow {
  const char* prefix;   // compared with the first strlen(prefix) characters of the name
  const char* handler;  // the handler's name, for logs and tests
  StepHandler call;     // null while that kind of step cannot be performed yet
};
extern const StepHandlerRow stepHandlers[NUMSTEPHANDLERS];

// The row that handles the action name, or -1 when none does (such as "feed").
int StepHandlerFind(const char* name);

// Seconds the planning of a character waits after one of its steps failed.
constexpr float c_replanDelayAfterStepFailure = 2.0f;

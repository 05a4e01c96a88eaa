// Performing plan steps: the dispatcher over action-name prefixes, stepping back, and the walking, finding and
// scavenging steps.
#pragma once

#include "world/actors/actors.h"

// A step handler gets the character, the step's whole action name and the step length; it
// returns the plan stage reached (0 or more) or a negative value, which gives the plan up.
typedef int (*StepHandler)(Actors& actors, int nr, const char* name, float dt);

// Rows of the dispatch table, tried in order; the first whose prefix matches the name wins.
#define NUMSTEPHANDLERS 27

struct StepHandlerRow {
  const char* prefix;   // compared with the first strlen(prefix) characters of the name
  const char* handler;  // the handler's name, for logs and tests
  StepHandler call;     // performs the step
};
extern const StepHandlerRow stepHandlers[NUMSTEPHANDLERS];

// The row that handles the action name, or -1 when none does (such as "feed").
int StepHandlerFind(const char* name);

// Seconds the planning of a character waits after one of its steps failed.
constexpr float c_replanDelayAfterStepFailure = 2.0f;

// Helpers shared by the step handlers.
// The part of the name after the prefix, or the whole name when it does not start with it.
const char* StepNameAfter(const char* name, const char* prefix);
// The tile the character stands on; -1 with an error line for a bad character, a missing name
// or a tile off the planet, so no handler indexes a tile map with it.
int StepTile(Actors& actors, int nr, const char* name);
// True on the first call of a step: its delay still holds the step's whole duration.
bool StepFirstCall(const Actors& actors, int nr, const char* name);
// Subtracts dt from the step's delay; true while time is left.
bool StepCountDown(Actors& actors, int nr, float dt);
// Takes the tile as the character's one claimed site, giving back a site it held elsewhere; false
// (nothing changed) when someone else holds the tile. Logs the claim.
bool StepClaim(Actors& actors, int nr, int tile, const char* action);
// The work on the tile is done: the site the character holds, there or elsewhere, is free again.
// A tile it works without holding it stays with whoever holds it.
void StepReleaseClaims(Actors& actors, int nr, int tile);

// Plan steps that act on other characters: freeing a caged prisoner and greeting a partner for a conversation.
#pragma once

#include "world/actors/actors.h"

// Breaks the cage on the character's tile open and frees the highest-numbered prisoner standing
// there (a 7-second step). The plan stage reached, or -1 when there is no cage or no prisoner.
int PerformFree(Actors& actors, int nr, const char* name, float dt);
// Engages the nearest other character in a conversation with this one, unless one is engaged
// already. Never advances by itself: the conversation's end moves past the step. dt is unused
// (the step has the dispatch table's handler shape).
int PerformGreet(Actors& actors, int nr, const char* name, float dt);

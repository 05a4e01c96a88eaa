// The player's interventions: player actions, walking to a clicked tile, stealing, smiting and speech.
#pragma once

#include "world/actors/actors.h"

// Longest action name a player action keeps (without its NUL).
constexpr int c_playerActionNameLimit = 63;

// The actions character nr could start now (no walk_to_, find_ or scavenge_ ones), in the
// domain's order, at most capacity names. Returns the number written; 0 for a bad character.
int AvailableActions(const Actors& actors, int nr, const char** names, int capacity);
// Gives character nr a plan of that one action and enters its first step. A name that is not
// an action of the domain fails the assertion "nm" and leaves the character as it was.
void StartAction(Actors& actors, int nr, const char* name);
// Asks for a path of the player's character to the tile: 0, or -1 for water, a tile off the
// planet, or no player's character or a smitten one.
int PlayerWalkTo(Actors& actors, int tile);
// Removes an item the character carries and abandons its plan: 0, or negative when it carries
// nothing (or is no character).
int DestroyCarried(Actors& actors, int nr);
// Strikes the character down: it drops what it carries, abandons its plan and its path request,
// loses ST_ACTIVE and stops. 1 when smitten, 0 when it was not active (or is no character).
int Smite(Actors& actors, int nr);
// The speaker (the player's character) hands its partner the active assignment number `line`,
// or ends the conversation without one for a negative line.
void Speak(Actors& actors, int nr, int line);
// True while the player's character is performing a "greet" step.
bool PlayerIsGreeting(const Actors& actors);

// Production plan steps: felling, quarrying, clearing sites, sawing, mining, smelting, forging, planting, manure,
// eating and the farming steps.
#pragma once

#include "world/actors.h"

struct Items;

// Every handler takes the character, the step's whole action name and the step length in
// seconds, and returns the plan stage reached (0 or more) or a negative value to give the plan
// up. They fit the StepHandler rows of the dispatch table.
int PerformCutTree(Actors& actors, int nr, const char* name, float dt);
int PerformCutStone(Actors& actors, int nr, const char* name, float dt);
int PerformClear(Actors& actors, int nr, const char* name, float dt);
int PerformSaw(Actors& actors, int nr, const char* name, float dt);
int PerformMineOre(Actors& actors, int nr, const char* name, float dt);
int PerformSmelt(Actors& actors, int nr, const char* name, float dt);
int PerformForge(Actors& actors, int nr, const char* name, float dt);
int PerformPlantTree(Actors& actors, int nr, const char* name, float dt);
int PerformScoopPoop(Actors& actors, int nr, const char* name, float dt);
int PerformEat(Actors& actors, int nr, const char* name, float dt);
int PerformHarvest(Actors& actors, int nr, const char* name, float dt);
int PerformMillGrain(Actors& actors, int nr, const char* name, float dt);
int PerformFillBucket(Actors& actors, int nr, const char* name, float dt);
int PerformIrrigate(Actors& actors, int nr, const char* name, float dt);

// Helpers shared by the step handlers.
// The tile the character stands on; -1 with an error line for a bad character, a missing name
// or a tile off the planet, so no handler indexes a tile map with it.
int StepTile(Actors& actors, int nr, const char* name);
// True on the first call of a step: its delay still holds the step's whole duration.
bool StepFirstCall(const Actors& actors, int nr, const char* name);
// Subtracts dt from the step's delay; true while time is left.
bool StepCountDown(Actors& actors, int nr, float dt);
// Posts a message whose one "%d" is the tile.
void StepPostAt(Actors& actors, const char* format, int tile);
// True while the item table has a free slot, so a product can still be made.
bool ItemRoomLeft(const Items& items);

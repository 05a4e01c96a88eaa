// Production plan steps: felling, quarrying, clearing sites, sawing, mining, smelting, forging, planting, manure,
// eating and the farming steps.
#pragma once

#include "world/actors/perform/actors_perform.h"

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

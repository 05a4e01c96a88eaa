// Carrying steps: picking up, dropping, delivering to sites, stocking storage, reaping provisions and smashing chests.
#pragma once

struct Actors;

// Plan-step handlers (see StepHandler): the plan stage reached, or -1 to give the plan up.
int PerformPickup(Actors& actors, int nr, const char* name, float dt);
int PerformDrop(Actors& actors, int nr, const char* name, float dt);
int PerformDeliver(Actors& actors, int nr, const char* name, float dt);
int PerformStock(Actors& actors, int nr, const char* name, float dt);
int PerformReap(Actors& actors, int nr, const char* name, float dt);
int PerformSmashChest(Actors& actors, int nr, const char* name, float dt);

// Uncarried items on a storage tile that make it full.
constexpr int c_storageCrowd = 10;

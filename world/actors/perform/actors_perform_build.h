// Construction steps: staking out sites with markers and working supplied sites into bridges, roads, decks and
// factories.
#pragma once

struct Actors;

// Plan-step handlers (see StepHandler): the plan stage reached, or -1 to give the plan up.
int PerformStake(Actors& actors, int nr, const char* name, float dt);
int PerformBuild(Actors& actors, int nr, const char* name, float dt);

// Road-site items looked at when a road marker is staked.
constexpr int c_roadSiteLookup = 16;

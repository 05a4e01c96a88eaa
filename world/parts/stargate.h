// The stargate: gems gathering on a tile raise it, it turns, and a crowned player's character ascends through it.
#pragma once

struct Wld;
struct Items;
struct Buildings;

// Gems that must lie together, uncarried, on one tile to raise a stargate.
constexpr int c_stargateGems = 8;
// Radians per second the stargates turn.
constexpr float c_stargateTurnRate = 4.2f;
// Distance from the planet's centre beyond which an ascending character has won.
constexpr float c_ascendWinRadius = 2.0f;

// Once per simulation step after the characters: sets every gem's pulse from the number of gems
// on its tile and raises a stargate where all eight lie uncarried. Returns the gems looked at.
int CheckStargate(Items& items, float dt);
// Once per simulation step, last: turns the stargates and starts the ascension of a crowned
// player's character standing on one.
void Ascend(Buildings& buildings, float dt);
// Posts "gameend win=1 lose=0 age=%f tilecount=%d" the first time it is called for the world
// and does nothing afterwards, so a win is counted once however long the rise goes on.
// Returns true when it posted.
bool GameEndPost(Wld& world);
// The shared turn angle of all stargates, in radians in [0, 2 pi].
float StargateAngle();
// Back to angle 0; for tests, so test order never changes a result.
void StargateReset();

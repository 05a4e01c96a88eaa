// The simulation's half of a game frame: the visualisation's messages, the fixed steps, the tick and the post.
#pragma once

#include <cstdint>

#include "utility/message_codec.h"

struct Packet;
struct Wld;

// Seconds of one simulation step.
constexpr float c_simStep = 1.0f / 240.0f;
// Takes the visualisation's packet, runs `steps` steps of dt seconds, ticks the world once with
// the frame's whole time, then posts the outgoing packet (also when empty, also for 0 steps)
// and empties it. Always true.
bool SimFrame(Packet* out, int steps, float dt, Wld* world);
// Takes every packet the visualisation has posted since the last frame (at most the four a ring
// keeps) and handles each of its messages.
void VisMessagesPump(Wld* world);
// Handles one message by its keyword; false when the keyword is not one the simulation knows.
bool VisMessageHandle(Wld* world, const char* text);
// Where the world's messages go from now on; called when a game starts.
void WldOutboxSet(Packet* out, Wld* world);
// The last "simspeed" message's accelerated flag (1 while the player fast-forwards, else 0).
int SimFastForward();
// The last player action chosen, "" before the first.
const char* SimPlayerActionName();
// Back to no fast-forward and no chosen action; for tests.
void SimFrameReset();

// How long, at most, a lockstep step waits for one search before it gives up on it and goes on.
constexpr double c_lockstepBound = 30.0;
// Lockstep, for runs that must repeat exactly whatever the machine's speed or load (the tests of
// what play reaches, the sweep, outcome benchmarks): every step waits until the plan and path
// searches it handed over are answered, at most `boundSeconds` each, before the world moves on.
// 0, the game's way, never waits: the game keeps its real-time pacing.
void SimLockstepSet(double boundSeconds);
// The bound in force, 0 when the simulation does not wait.
double SimLockstep();

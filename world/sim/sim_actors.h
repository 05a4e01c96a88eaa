// The characters' share of one simulation step: collecting answers, walking, performing, choosing goals, then moving.
#pragma once

struct Packet;
struct Wld;

// Runs the three passes of one step of dt seconds over every character of the world: decisions,
// movement over the surface, then the shared per-step work (separation, integration, handing
// requests to the services, animation). Messages go to `out` (the world's outbox when null).
void SimActorsUpdate(Packet* out, float dt, Wld* world);

// Fuzzes the simulation's message dispatcher on a small generated world aged past the landing: the
// input's lines are the visualisation's messages, each posted through the mailbox and followed by
// a frame; a line "#n" runs n more frames. The world must then save and load again.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "fuzz_world.h"

namespace {

// Every input starts from the base world aged past the landing, so that what the player asks
// for can be walked to and done: greeting, speaking, freeing, staking and building. The base
// world is generated from fixed random numbers, so the seeds' tiles stay where they are: the
// player's character stands on tile 180, a cage with a prisoner on 265, chests on 89 and 264.
constexpr const char* c_agedSave = "aged.dat";
constexpr double c_ageSeconds = 20.0;
// Frames one input may run at most, of this many steps: 12 s of simulated time.
constexpr int c_frameLimit = 360;
constexpr int c_stepsPerFrame = 8;

// One frame, then a short wait for the services to answer what it handed over, as they keep up
// with a game running at its frame rate; run flat out, the player's walk would still be waiting
// for its path when the input ends.
void Frame(Wld* world, Packet* outbox) {
  SimFrame(outbox, c_stepsPerFrame, c_simStep, world);
  fuzz::DrainOutbox();
  Actors& actors = world->actors;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
  while (actors.m_planInFlight || actors.m_pathInFlight) {
    actors.ReapPlanRequest();
    PathRequestReap(actors);
    if (std::chrono::steady_clock::now() > until) break;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

// The one outgoing packet of the world under test.
Packet outbox;

// Loads a save into a fresh simulation and makes it the current world; aborts when it is refused,
// since both saves are the target's own.
Wld* LoadAsCurrent(const char* name) {
  fuzz::ResetSimulation();
  Wld* world = SaveGameLoad(name);
  if (!world) abort();
  wld = world;
  outbox.Empty();
  WldOutboxSet(&outbox, world);
  return world;
}

// Runs the base world with its services past the landing and saves it. Aborts when that fails:
// the target would test nothing.
void MakeAgedWorld() {
  Wld* const previous = wld;
  Wld* world = LoadAsCurrent(fuzz::c_baseSave);
  const int frames = static_cast<int>(c_ageSeconds / (c_stepsPerFrame * c_simStep));
  for (int i = 0; i < frames; ++i) Frame(world, &outbox);
  world->ReleaseServices();
  if (!SaveGameWrite(world, c_agedSave)) abort();
  // Where the seeds' clicks can go: the player's tile, the cages and the chests.
  const int p = world->actors.FindPlayer();
  fprintf(stderr, "fuzz: the aged world is %.1f s old; the player stands on tile %d\n", world->m_age,
          p >= 0 ? world->actors.m_loca[p] : -1);
  for (int b = 0; b < world->buildings.m_cnt; ++b)
    if (world->buildings.m_name[b].Equals("cage"))
      fprintf(stderr, "fuzz: cage on tile %d\n", world->buildings.m_loca[b]);
  for (int i = 0; i < world->items.m_cnt; ++i)
    if (world->items.InUse(i) && world->items.m_carr[i] < 0 && world->items.m_name[i].Equals("chest"))
      fprintf(stderr, "fuzz: chest on tile %d\n", world->items.m_loca[i]);
  wld = previous;
  delete world;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MakeBaseWorld();
  fuzz::StartServices();
  MakeAgedWorld();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Wld* const previous = wld;
  Wld* world = LoadAsCurrent(c_agedSave);

  fuzz::Input in{data, size};
  int frames = 0;
  while (in.size && frames < c_frameLimit) {
    const std::string line = in.Line();
    int run = 1;
    if (line.size() > 1 && line[0] == '#') {
      run = atoi(line.c_str() + 1);
      run = run < 0 ? 0 : run > 30 ? 30 : run;
    } else {
      Packet packet;
      packet.Append(line.c_str());
      MailboxPost(c_mailboxVis, packet);
    }
    for (int i = 0; i < run; ++i) Frame(world, &outbox);
    frames += run;
  }
  // Saved as the game saves at shut-down: after the services let go of the world.
  world->ReleaseServices();
  fuzz::SaveAndReload(world, "fuzz.dat");
  wld = previous;
  delete world;
  return 0;
}

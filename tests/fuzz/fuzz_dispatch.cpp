// Fuzzes the simulation's message dispatcher on a small generated world aged past the landing: the
// input's lines are the visualisation's messages, each posted through the mailbox and followed by
// a frame; a line "#n" runs n more frames. An input whose first line is "@builder" starts instead
// from the builder's world (below). The world must then save and load again.
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_world.h"

namespace {

// Every input starts from the base world aged past the landing, so that what the player asks
// for can be walked to and done: greeting, speaking, freeing, staking and building. The base
// world is generated from fixed random numbers and run in lockstep, so the seeds' tiles stay
// where they are: the player's character stands on tile 180, cages with prisoners on 258 and 265,
// the camp's chests on 259 (tools), 89 and 8 (materials) and 264 (markers); a sawmill marker lies
// on 89.
constexpr const char* c_agedSave = "aged.dat";
constexpr double c_ageSeconds = 20.0;
// The builder's world: the aged world after the player has staked a bridge on the landing tile,
// brought it the three stone and three lumber of its first piece, come back with a hammer and
// started building, so that an input can go on building or do anything else there.
constexpr const char* c_builderSave = "builder.dat";
constexpr const char* c_builderLine = "@builder";
std::string BuilderScript() {
  auto walk = [](int tile, int frames) {
    return "leftclick down=0 moved=0 tile=" + std::to_string(tile) + " actor=-1 modctl=0 modshf=0\n#" +
           std::to_string(frames) + "\n";
  };
  auto act = [](const char* name) { return std::string("playeraction name=") + name + "\n#60\n"; };
  std::string script = walk(264, 150) + act("smash_chest") + act("pickup_bridgemarker") + walk(180, 150) +
                       act("stake_bridgemarker") + walk(89, 90) + act("smash_chest");
  // Three stone and three lumber from the camp's pile (89) to the staked site (180).
  for (int k = 0; k < 3; ++k)
    for (const char* what : {"stone", "lumber"})
      script += walk(89, 90) + act((std::string("pickup_") + what).c_str()) + walk(180, 90) +
                act((std::string("drop_") + what).c_str());
  script += walk(259, 300) + act("smash_chest") + act("pickup_hammer") + walk(180, 300) +
            "playeraction name=build_bridge\n#150\n";
  return script;
}
// The builder's script runs in full.
constexpr int c_builderFrames = 1 << 20;
// Frames one input may run at most, of this many steps: 12 s of simulated time; a "#n" line runs
// at most c_runLimit frames.
constexpr int c_frameLimit = 360;
constexpr int c_runLimit = 30;
constexpr int c_stepsPerFrame = 8;

// One frame. The simulation runs in lockstep with its planning and pathing services: every step
// waits for the searches it handed over, so an input replays the same way on any machine and no
// time goes to waiting on a clock.
void Frame(Wld* world, Packet* outbox) {
  SimFrame(outbox, c_stepsPerFrame, c_simStep, world);
  fuzz::DrainOutbox();
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

// Posts the input's messages one frame apart and runs its "#n" frames (n at most `runLimit`), at
// most `frameLimit` frames in all.
void RunMessages(Wld* world, fuzz::Input in, int frameLimit, int runLimit) {
  int frames = 0;
  while (in.size && frames < frameLimit) {
    const std::string line = in.Line();
    int run = 1;
    if (line.size() > 1 && line[0] == '#') {
      run = atoi(line.c_str() + 1);
      run = run < 0 ? 0 : run > runLimit ? runLimit : run;
    } else {
      Packet packet;
      packet.Append(line.c_str());
      MailboxPost(c_mailboxVis, packet);
    }
    for (int i = 0; i < run; ++i) Frame(world, &outbox);
    frames += run;
  }
}

// Runs the base world with its services past the landing and saves it, then plays the builder's
// script on it and saves that too. Aborts when either fails: the target would test less than its
// seeds expect.
void MakeStartWorlds() {
  Wld* const previous = wld;
  Wld* world = LoadAsCurrent(fuzz::c_baseSave);
  const int frames = static_cast<int>(c_ageSeconds / (c_stepsPerFrame * c_simStep));
  for (int i = 0; i < frames; ++i) Frame(world, &outbox);
  world->ReleaseServices();
  if (!SaveGameWrite(world, c_agedSave)) abort();
  int p = world->actors.FindPlayer();
  fprintf(stderr, "fuzz: the aged world is %.1f s old; the player stands on tile %d\n", world->m_age,
          p >= 0 ? world->actors.m_loca[p] : -1);
  delete world;

  world = LoadAsCurrent(c_agedSave);
  const std::string script = BuilderScript();
  RunMessages(world, fuzz::Input{reinterpret_cast<const uint8_t*>(script.data()), script.size()}, c_builderFrames,
              c_builderFrames);
  world->ReleaseServices();
  p = world->actors.FindPlayer();
  const int tile = p >= 0 ? world->actors.m_loca[p] : -1;
  const bool ready = p >= 0 && world->items.FindCarried("hammer", p) >= 0 && world->buildings.Find(tile, nullptr) >= 0;
  fprintf(stderr, "fuzz: the builder's world: the player stands on tile %d%s\n", tile,
          ready ? " with a hammer, on a building site" : "");
  if (!ready || !SaveGameWrite(world, c_builderSave)) {
    fprintf(stderr, "fuzz: the builder's world could not be made\n");
    abort();
  }
  wld = previous;
  delete world;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MakeBaseWorld();
  fuzz::StartServices();
  SimLockstepSet(c_lockstepBound);
  MakeStartWorlds();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Wld* const previous = wld;
  fuzz::Input in{data, size};
  const size_t n = strlen(c_builderLine);
  const bool builder = size > n && !memcmp(data, c_builderLine, n) && data[n] == '\n';
  if (builder) in.Line();
  Wld* world = LoadAsCurrent(builder ? c_builderSave : c_agedSave);
  RunMessages(world, in, c_frameLimit, c_runLimit);
  // Saved as the game saves at shut-down: after the services let go of the world.
  world->ReleaseServices();
  fuzz::SaveAndReload(world, "fuzz.dat");
  wld = previous;
  delete world;
  return 0;
}

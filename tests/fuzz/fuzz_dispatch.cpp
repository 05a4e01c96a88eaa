// Fuzzes the simulation's message dispatcher on a small generated world: the input's lines are the
// visualisation's messages, each posted through the mailbox and followed by a frame; a line "#n"
// runs n more frames. The world must then save and load again.
#include <cstdlib>
#include <string>

#include "fuzz_world.h"

namespace {

// The dispatcher's own reports of messages that name no action of the planner, or speak to no
// one: the visualisation never sends them, and the world is left as it was.
const char* const c_expected[] = {"nm", "partner>=0", nullptr};
// Frames one input may run at most, so that an input stays a fraction of a second.
constexpr int c_frameLimit = 120;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::expectedAsserts = c_expected;
  fuzz::MakeBaseWorld();
  fuzz::StartServices();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ResetSimulation();
  Wld* world = SaveGameLoad(fuzz::c_baseSave);
  if (!world) abort();
  Wld* const previous = wld;
  wld = world;
  static Packet outbox;
  outbox.Empty();
  WldOutboxSet(&outbox, world);

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
    for (int i = 0; i < run; ++i) {
      SimFrame(&outbox, 2, c_simStep, world);
      fuzz::DrainOutbox();
    }
    frames += run;
  }
  // Saved as the game saves at shut-down: after the services let go of the world.
  world->ReleaseServices();
  fuzz::SaveAndReload(world, "fuzz.dat");
  wld = previous;
  delete world;
  return 0;
}

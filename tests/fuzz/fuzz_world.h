// The small generated world the simulation's fuzz targets start every input from, kept as a save file.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"
#include "utility/message.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/planet/terraform.h"
#include "world/planet/worldgen.h"
#include "world/save/save.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

namespace fuzz {

constexpr const char* c_baseSave = "base.dat";

// Generates the smallest planet that holds a playable world (a fixed variant, the random numbers
// from their start) and saves it as c_baseSave. Aborts when none can be made: the target would
// test nothing.
inline void MakeBaseWorld() {
  SetUpFolders(true);
  CustomParamsReset();
  for (int size = 0; size < 3; ++size) {
    customParamValues[0] = size;
    WorldRngReset();
    Wld* world = TerraformNewWorld("Fuzz");
    if (!world) continue;
    const int result = world->Generate(customParamValues[4]);
    const bool saved = result == WG_OK && SaveGameWrite(world, c_baseSave);
    delete world;
    if (saved) {
      fprintf(stderr, "fuzz: the base world is planet size %d\n", size);
      return;
    }
  }
  fprintf(stderr, "fuzz: no base world could be made; is the data folder (%s) built?\n", DataFolderGet());
  abort();
}

// The planning and pathing threads answer the characters' requests as in the game. Their timing
// makes runs vary a little unless the target runs the simulation in lockstep with them (as the
// dispatcher's does); the simulation must cope with any answer at any frame anyway.
inline void StartServices() {
  if (!PlanningServiceStart() || !PathingServiceStart()) {
    fprintf(stderr, "fuzz: the planning and pathing services did not start\n");
    abort();
  }
}

// Puts the process-wide simulation state back to where a fresh game starts.
inline void ResetSimulation() {
  WorldRngReset();
  SimFrameReset();
  MailboxReset();
}

// Reads and parses whatever the simulation posted, as the visualisation would.
inline void DrainOutbox() {
  Packet in;
  char text[c_messageBufferSize];
  while (MailboxReceive(c_mailboxVis, &in))
    while (in.m_readPos < in.m_size) in.Read(text, sizeof(text), 0);
}

// Saves the world under the name and loads it again; an accepted world that cannot make that
// round trip is a finding.
inline void SaveAndReload(Wld* world, const char* name) {
  if (!SaveGameWrite(world, name)) {
    fprintf(stderr, "fuzz: the world could not be saved\n");
    abort();
  }
  Wld* back = SaveGameLoad(name);
  if (!back) {
    fprintf(stderr, "fuzz: the world's own save was refused\n");
    abort();
  }
  if (back->globe.m_sz != world->globe.m_sz || back->actors.m_cnt != world->actors.m_cnt ||
      back->m_age != world->m_age) {
    fprintf(stderr, "fuzz: the reloaded world differs\n");
    abort();
  }
  delete back;
}

}  // namespace fuzz

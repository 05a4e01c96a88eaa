// Development tool: plays a new world in a window until the player's character has landed, asks it to greet
// someone as the greet button would, and writes a PNG of the settlement with its action buttons and the speech
// menu open. Usage: speech_shot OUT.png [planet size 0..5, default 2] [variant, default 0]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "graphics/gl/graphics.h"
#include "graphics/vis/vis.h"
#include "system/file.h"
#include "system/input.h"
#include "system/window.h"
#include "tools/shot_world.h"
#include "utility/log.h"
#include "utility/message.h"
#include "world/actors/actors_interventions.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/planet/terraform.h"
#include "world/planet/worldgen.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    printf("usage: speech_shot OUT.png [size] [variant]\n");
    return 2;
  }
  const int size = argc > 2 ? atoi(argv[2]) : 2, variant = argc > 3 ? atoi(argv[3]) : 0;
  std::string user;
  if (!ShotWindowOpen("speech", 1280, 720, &user)) return 1;
  int status = 1;
  {
    Vis vis;
    static Packet outbox;
    Wld* world = ShotWorldMake(&vis, "Speech", size, variant, &outbox);
    if (world) {
      world->Post("intro started=1");
      const float dt = 1.0f / 240.0f;
      int greetingFrames = 0;
      for (int frame = 0; frame < 240 * 120 / 8 && greetingFrames < 40; ++frame) {
        SimFrame(&outbox, 8, dt, world);
        const int p = world->actors.FindPlayer();
        const bool landed = p >= 0 && (world->actors.m_stat[p] & ST_LANDED);
        if (landed && !PlayerIsGreeting(world->actors) && frame % 60 == 0) SendToSim(&vis, "playeraction name=greet");
        if (PlayerIsGreeting(world->actors)) ++greetingFrames;
        if (greetingFrames == 39) vis.m_capturePath = argv[1];
        if (!VisFrame(&vis, 8 * dt, 8, dt, world)) break;
      }
      status = vis.m_captureOk ? 0 : 1;
      if (status) LOGE("The player's character never greeted anyone.");
      ShotWorldFree(&vis, world);
    }
  }
  ShotWindowClose(user);
  return status;
}

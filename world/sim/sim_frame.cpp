// The simulation's half of a game frame: the visualisation's messages, the fixed steps, the tick and the post.
#include "world/sim/sim_frame.h"

#include <cstring>

#include "utility/log.h"
#include "utility/message.h"
#include "world/actors/actors_interventions.h"
#include "world/parts/stargate.h"
#include "world/save/save.h"
#include "world/sim/sim_actors.h"
#include "world/wld.h"

// The dispatcher keeps the last chosen action name and the player's fast-forward wish; the
// tutorial reads the latter to know the player has found the fast-forward key.
static char playerActionName[c_playerActionNameLimit + 1] = {};
static int fastForward = 0;
// Seconds a step may wait for each search it handed over; 0: it never waits. Main thread only.
static double lockstepBound = 0.0;

void SimLockstepSet(double boundSeconds) { lockstepBound = boundSeconds > 0.0 ? boundSeconds : 0.0; }

double SimLockstep() { return lockstepBound; }

int SimFastForward() { return fastForward; }

const char* SimPlayerActionName() { return playerActionName; }

void SimFrameReset() {
  playerActionName[0] = 0;
  fastForward = 0;
}

void WldOutboxSet(Packet* out, Wld* world) {
  if (world) world->m_outbox = out;
}

// The "leftclick " rule: steal with control, smite with shift, walk on a plain release.
static void LeftClick(Wld* world, const char* text) {
  const int down = MessageIntValue(text, "down");
  const int moved = MessageIntValue(text, "moved");
  const int tile = MessageIntValue(text, "tile");
  const int actor = MessageIntValue(text, "actor");
  const int modctl = MessageIntValue(text, "modctl");
  const int modshf = MessageIntValue(text, "modshf");
  Actors& actors = world->actors;
  if (actor >= 0 && modctl != 0 && down != 0) {
    if (DestroyCarried(actors, actor) >= 0) LogEvent("Stole from %s", actors.m_name[actor].c_str());
    return;
  }
  if (actor >= 0 && modshf != 0) {
    // Smite says 1 only for a character it smote now; clicking the fallen again says nothing.
    if (down != 0 && Smite(actors, actor) > 0) LogEvent("Smiting %s", actors.m_name[actor].c_str());
    return;
  }
  if (down == 0 && modctl == 0 && modshf == 0 && moved == 0 && tile >= 0) PlayerWalkTo(actors, tile);
}

// The "playeraction " rule: the player's character starts the named action.
static void PlayerAction(Wld* world, const char* text) {
  char name[c_playerActionNameLimit + 1];
  if (MessageWordValue(text, "name", name, sizeof(name)) == 0) return;
  memcpy(playerActionName, name, sizeof(name));
  LOGI("Action '%s' selected.", playerActionName);
  const int p = world->actors.FindPlayer();
  if (p < 0) {
    LOGE("There is no player's character to perform '%s'.", playerActionName);
    return;
  }
  StartAction(world->actors, p, playerActionName);
}

// The "savegame" rule: the game goes to "autosave.dat" in the user folder. A failed save keeps
// the previous file and says so in the log; the game goes on either way.
static void SaveGame(Wld* world) { SaveGameWrite(world, SAVEFILENAME); }

bool VisMessageHandle(Wld* world, const char* text) {
  if (!text) return false;
  if (!world) {
    LOGE("No world for the message: %s", text);
    return false;
  }
  if (!strncmp(text, "leftclick ", 10)) {
    LeftClick(world, text);
    return true;
  }
  if (!strncmp(text, "playeraction ", 13)) {
    PlayerAction(world, text);
    return true;
  }
  if (!strncmp(text, "playerspeak", 11)) {
    const int p = world->actors.FindPlayer();
    if (p < 0) {
      LOGE("There is no player's character to speak.");
      return true;
    }
    Speak(world->actors, p, MessageIntValue(text, "line"));
    return true;
  }
  if (!strncmp(text, "cheatkey", 8)) return true;
  if (!strncmp(text, "savegame", 8)) {
    SaveGame(world);
    return true;
  }
  if (!strncmp(text, "simspeed", 8)) {
    fastForward = MessageIntValue(text, "accelerated") > 0 ? 1 : 0;
    world->tutor.m_fastForward = static_cast<uint8_t>(fastForward);
    return true;
  }
  return false;
}

void VisMessagesPump(Wld* world) {
  static Packet in;  // 1.4 kB; kept off the stack, main thread only
  char message[c_messageBufferSize];
  // Every waiting packet, not just one: the visualisation posts a second packet in a frame whose
  // messages overflowed the first, and taking one a frame would leave this side behind for good.
  for (int taken = 0; taken < c_mailboxSlots; ++taken) {
    in.Empty();
    if (!MailboxReceive(c_mailboxSim, &in)) return;
    while (in.m_readPos < in.m_size) {
      in.Read(message, sizeof(message), 0);
      if (!VisMessageHandle(world, message)) LOGE("Unhandled message: %s", message);
    }
  }
}

bool SimFrame(Packet* out, int steps, float dt, Wld* world) {
  if (steps < 0) {
    LOGE("A frame of %d steps runs none.", steps);
    steps = 0;
  }
  VisMessagesPump(world);
  if (world) {
    // Statistics that found last frame's packet full go first into this one.
    world->RetryStats();
    for (int i = 0; i < steps; ++i) {
      world->globe.UpdateOccupancy();
      world->demand.Update();
      SimActorsUpdate(out, dt, world);
      CheckStargate(world->items, dt);
      world->trees.Update(dt);
      world->buildings.UpdateFlows();
      Ascend(world->buildings, dt);
    }
    world->Update(steps, dt);
  }
  if (out) {
    MailboxPost(c_mailboxSim, *out);
    out->Empty();
  }
  return true;
}

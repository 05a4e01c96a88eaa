// The simulation's half of a game frame: the visualisation's messages, the fixed steps, the tick and the post.
#include "world/sim_frame.h"

#include <cstdlib>
#include <cstring>

#include "utility/log.h"
#include "utility/message.h"
#include "world/actors_interventions.h"
#include "world/save.h"
#include "world/sim_actors.h"
#include "world/stargate.h"
#include "world/wld.h"

// The dispatcher keeps the last chosen action name and the player's fast-forward wish; the
// tutorial reads the latter to know the player has found the fast-forward key.
static char playerActionName[c_playerActionNameLimit + 1] = {};
static int fastForward = 0;

int SimFastForward() { return fastForward; }

const char* SimPlayerActionName() { return playerActionName; }

void SimFrameReset() {
  playerActionName[0] = 0;
  fastForward = 0;
}

void WldOutboxSet(Packet* out, Wld* world) {
  if (world) world->m_outbox = out;
}

int32_t MessageIntValue(const char* text, const char* key) {
  if (!text || !key) return c_messageIntAbsent;
  const char* rest = text;
  while (*rest && *rest != ' ' && *rest != '\n') ++rest;
  const char* at = strstr(rest, key);
  if (!at) return c_messageIntAbsent;
  const char* eq = strchr(at, '=');
  if (!eq || !eq[1]) return c_messageIntAbsent;
  // atoi's reading, but a number too big for 32 bits is clamped instead of being undefined.
  const long long v = strtoll(eq + 1, nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
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
  const char* at = strstr(text + 13, "name");
  if (!at) return;
  const char* eq = strchr(at, '=');
  if (!eq || !eq[1]) return;
  const char* v = eq + 1;
  int len = 0;
  while (len < c_playerActionNameLimit && v[len] && v[len] != '\n' && v[len] != ' ') ++len;
  if (len == 0) return;
  memcpy(playerActionName, v, len);
  playerActionName[len] = 0;
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

// The world record Wld: the planet and every world part by value, its name, age and message outbox.
#pragma once

#include <cstdint>

#include "utility/fixed_string.h"
#include "world/actors/actors.h"
#include "world/actors/demand.h"
#include "world/parts/buildings.h"
#include "world/parts/items.h"
#include "world/parts/minerals.h"
#include "world/parts/rocks.h"
#include "world/parts/trees.h"
#include "world/parts/tutor.h"
#include "world/planet/globe.h"

struct Packet;

#define WLD_VERSION 104

// A world part without behaviour yet: a count and a block that stay zero.
struct Dragons {
  int32_t m_cnt = 0;
  Wld* m_wld = nullptr;
  uint8_t m_storage[52352] = {};

  explicit Dragons(Wld* wld);
  ~Dragons();
};

// The one world of a game. Parts are members in the order the save file keeps them; each
// is constructed with a pointer back to the world, and C++ destroys them in reverse order.
// To add a part: include its header above, declare the member at its place in the order
// below (the comments mark where), and construct it with `this` in Wld::Wld.
struct Wld {
  uint32_t m_version;
  FixedString m_name;
  double m_age;  // simulated seconds since the world was generated
  Globe globe;
  Actors actors;
  Dragons dragons;
  Items items;
  Trees trees;
  Rocks rocks;
  Minerals minerals;
  Buildings buildings;
  Demand demand;
  Tutor tutor;
  Packet* m_outbox;         // where Post appends; null until set
  int32_t m_gameEnded = 0;  // 1 once the win has been posted; not saved (the game is over by then)
  // Counts the events that can make a goal that kept failing worth trying again at once: a site
  // staked, material delivered, stocked or dropped, a building or bridge piece finished, a
  // prisoner freed, a chest smashed, fruit grown, a seedling grown to a tree, a claim given back.
  uint32_t m_changes = 0;
  // Statistics that found the outbox full, held by name until a later frame has room: deltas
  // are summed, a value is replaced by the newer one. Not saved: the platform's statistics are a
  // courtesy, not part of the world.
  struct HeldStat {
    const char* name;  // a string literal
    int32_t delta;     // the value itself when `value` is set
    uint8_t sync;
    uint8_t value;
  };
  static constexpr int c_heldStatLimit = 16;
  HeldStat m_heldStats[c_heldStatLimit] = {};
  int32_t m_heldStatCount = 0;

  explicit Wld(const char* name);
  // Makes both services let go of the world before any part of it is destroyed.
  ~Wld();
  Wld(const Wld&) = delete;
  Wld& operator=(const Wld&) = delete;

  // Takes this world's requests back from the planning and pathing services: queued ones are
  // discarded, the one being served is waited for and its answer taken in. Afterwards no worker
  // reads or writes the world until a character asks again. Needed before the world is saved
  // with the services still running, and done by the destructor.
  void ReleaseServices();
  // Appends a message to the outbox; lost silently without one. False only when the outbox is
  // full this frame: a message that must arrive once is then marked sent only on a later try.
  bool Post(const char* text);
  // Formats a message (at most 255 characters) and posts it as Post does.
  bool PostF(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Posts "intstat name=NAME delta=N" (" sync=1" added when asked); NAME must be a string
  // literal. A delta that does not fit this frame is held and sent by RetryStats, never lost.
  void PostStat(const char* name, int delta, bool sync);
  // Posts "intstat name=NAME val=V" (" sync=1" added when asked), held as PostStat holds a delta;
  // only the newest value of a name is kept.
  void PostStatValue(const char* name, int value, bool sync);
  // Sends the held statistics; SimFrame calls it at the start of each frame.
  void RetryStats();
  // Once per frame after the steps: ticks the tutor and advances the age by steps x dt.
  void Update(int steps, float dt);
  // Loads the topology file of that name from the user folder into the globe; m_sz or -1.
  int LoadTopology(const char* name);
  // Writes the COLLADA scene of trees, rocks and buildings; 0, or -1 when the file fails.
  int WriteScene(const char* path);
  // Populates a freshly loaded planet for a new game (worldgen.cpp): WG_OK, or a negative
  // WorldGenResult with a log line when the planet cannot hold a playable world.
  int Generate(int variant);
  // Writes or reads the whole save file through the open file (save.cpp): the total bytes
  // moved, or 0 when a read is refused (wrong magic or version, or a damaged file).
  uint64_t Serialize(FileHandle file, bool write);
};

// The world of the running game, or null.
extern Wld* wld;

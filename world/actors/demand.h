// Demand: the settlement's open work counted every step, the assignments it allows and the demand atoms.
#pragma once

#include <cstdint>

struct Wld;
struct Items;
struct ActionPlanner;
struct WorldState;

#define NUMASSIGNMENTS 7
#define NUMDEMANDSLOTS 15

// The tallies of Demand::m_tallies, by slot.
enum DemandSlot {
  DS_WOOD = 0,         // sites that want lumber
  DS_STONE = 1,        // sites that want stone
  DS_MANURE = 2,       // poop to scoop, while a bucket exists
  DS_WORK = 3,         // supplied works of every kind
  DS_HUNGRY = 4,       // characters without fruit and too long without food
  DS_UNUSED = 5,       // always 0
  DS_CAGE = 6,         // cages holding prisoners
  DS_SAWMILL = 7,      // sawmills wanting timber
  DS_ROADWORK = 8,     // unclaimed supplied road sites
  DS_BRIDGEWORK = 9,   // unclaimed supplied bridge sites
  DS_DECKWORK = 10,    // unclaimed supplied deck sites
  DS_FACTWORK = 11,    // unclaimed supplied factory sites
  DS_WOODYBLOCK = 12,  // unclaimed sites still under trees
  DS_ROCKYBLOCK = 13,  // unclaimed sites still under rocks
  DS_STORAGE = 14,     // storage tiles on the whole globe
};

// Seconds without food after which a character without fruit counts as hungry.
constexpr float c_hungryAfter = 120.0f;

struct Demand {
  Wld* m_wld = nullptr;
  int m_offers[NUMASSIGNMENTS] = {};   // per assignment: non-zero when it can be offered by speech
  int m_tallies[NUMDEMANDSLOTS] = {};  // by DemandSlot

  explicit Demand(Wld* wld);

  // Recounts every tally and offer from the world; once per simulation step.
  void Update();
  // The tally of a slot; -1 (a thing without a tally) and anything else outside 0..14 give 0.
  int Count(int slot) const;
  // Sets "demandforstone", "demandforlumber" and "demandfortimber" in the state; returns 0.
  int SetAtoms(ActionPlanner* ap, WorldState* ws) const;
  // The tally slot that walking to a tile with this attribute serves, or -1.
  static int SlotForAttribute(int attribute);
};

// Characters 0..count-1 that carry no fruit and have gone strictly longer than c_hungryAfter
// without eating.
int DemandCountHungry(const Items& items, int count, const float* timeSinceEating);

// Demand: counting construction sites, cages, sawmills, hunger and manure each step into tallies and offers.
#include "world/actors/demand.h"

#include <cstring>

#include "quarnplan256/goap.h"
#include "utility/log.h"
#include "world/actors/actors.h"
#include "world/parts/buildings.h"
#include "world/parts/items.h"
#include "world/planet/globe.h"
#include "world/wld.h"

Demand::Demand(Wld* wld) : m_wld(wld) {}

int DemandCountHungry(const Items& items, int count, const float* timeSinceEating) {
  int hungry = 0;
  for (int c = 0; c < count; ++c)
    if (timeSinceEating[c] > c_hungryAfter && items.FindCarried("fruit", c) < 0) ++hungry;
  return hungry;
}

void Demand::Update() {
  for (int& offer : m_offers) offer = 0;
  for (int& tally : m_tallies) tally = 0;
  const Globe& globe = m_wld->globe;
  const Buildings& buildings = m_wld->buildings;
  const Items& items = m_wld->items;
  int* s = m_tallies;
  for (int b = 0; b < buildings.m_cnt; ++b) {
    if (buildings.m_name[b].Empty()) continue;
    const int loc = buildings.m_loca[b];
    if (!globe.IsValid(loc)) continue;
    const uint64_t a = globe.Attribs(loc);
    // A site a builder has claimed is no longer open work, though it may still want material.
    if (a & AT_UNCLAIMED) {
      s[DS_BRIDGEWORK] += (a & AT_SUPPLIEDBRIDGEWORK) ? 1 : 0;
      s[DS_ROADWORK] += (a & AT_SUPPLIEDROADWORK) ? 1 : 0;
      s[DS_DECKWORK] += (a & AT_SUPPLIEDDECKWORK) ? 1 : 0;
      s[DS_FACTWORK] += (a & AT_SUPPLIEDFACTWORK) ? 1 : 0;
      s[DS_WOODYBLOCK] += (a & AT_WOODYBLOCK) ? 1 : 0;
      s[DS_ROCKYBLOCK] += (a & AT_ROCKYBLOCK) ? 1 : 0;
    }
    s[DS_WOOD] += (a & AT_WOODCONSTRUCTION) ? 1 : 0;
    s[DS_STONE] += (a & AT_STONECONSTRUCTION) ? 1 : 0;
    s[DS_SAWMILL] += (a & AT_SAWMILL) ? 1 : 0;
    s[DS_CAGE] += (a & AT_CAGE) ? 1 : 0;
  }
  s[DS_WORK] = s[DS_FACTWORK] + s[DS_ROADWORK] + s[DS_DECKWORK] + s[DS_BRIDGEWORK];
  const Actors& actors = m_wld->actors;
  const int count = actors.m_cnt < MAXACTORS ? actors.m_cnt : MAXACTORS;
  s[DS_HUNGRY] = DemandCountHungry(items, count, actors.m_timeSinceEating);
  // Buckets and manure in one pass over the items, carried ones included.
  int buckets = 0, poop = 0;
  const int itemCount = items.m_cnt < MAXITEMS ? items.m_cnt : MAXITEMS;
  for (int i = 0; i < itemCount; ++i) {
    const FixedString& name = items.m_name[i];
    if (name.Length() == 4 && memcmp(name.c_str(), "poop", 4) == 0) ++poop;
    if (name.Length() == 11 && memcmp(name.c_str(), "emptybucket", 11) == 0) ++buckets;
  }
  if (buckets != 0) s[DS_MANURE] = poop;
  s[DS_STORAGE] = globe.CountStorage();
  m_offers[0] = 1;  // procure lumber
  m_offers[1] = 1;  // procure stone
  m_offers[2] = s[DS_MANURE];
  m_offers[3] = s[DS_WORK];
  m_offers[4] = 0;
  m_offers[5] = 0;
  m_offers[6] = s[DS_CAGE];
}

int Demand::Count(int slot) const {
  if (slot == -1) return 0;
  ASSERTM_OR_RETURN(slot >= 0 && slot < NUMDEMANDSLOTS, 0, "demand slot %d outside -1..%d", slot, NUMDEMANDSLOTS - 1);
  return m_tallies[slot];
}

int Demand::SetAtoms(ActionPlanner* ap, WorldState* ws) const {
  StateSet(ap, ws, "demandforstone", m_tallies[DS_STONE] >= 1);
  StateSet(ap, ws, "demandforlumber", m_tallies[DS_WOOD] >= 1);
  StateSet(ap, ws, "demandfortimber", m_tallies[DS_SAWMILL] >= 1);
  return 0;
}

int Demand::SlotForAttribute(int attribute) {
  switch (attribute) {
    case 17:
      return DS_CAGE;
    case 19:
      return DS_WOOD;
    case 20:
      return DS_STONE;
    case 21:
    case 22:
    case 23:
    case 24:
      return DS_WORK;
    default:
      return -1;
  }
}

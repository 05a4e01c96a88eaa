// Performing plan steps: the dispatcher, stepping back, and the steps that only ask for a path (walk_to_, find_,
// scavenge_).
#include "world/actors/perform/actors_perform.h"

#include <cstdio>
#include <cstring>

#include "utility/log.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/perform/actors_perform_build.h"
#include "world/actors/perform/actors_perform_carry.h"
#include "world/actors/perform/actors_perform_free.h"
#include "world/actors/perform/actors_perform_production.h"
#include "world/parts/items.h"
#include "world/planet/globe.h"
#include "world/wld.h"

namespace {

int WalkTo(Actors& a, int nr, const char* name, float) { return a.PerformWalkTo(nr, name); }
int Find(Actors& a, int nr, const char* name, float) { return a.PerformFind(nr, name); }
int Scavenge(Actors& a, int nr, const char* name, float) { return a.PerformScavenge(nr, name); }

// find_ and scavenge_ differ only in what the planner charges for them.
int RequestItemPath(Actors& a, int nr, const char* itemName) {
  const int type = Items::TypeByName(itemName);
  if (type < 0) {
    LOGE("%s cannot look for '%s': not an item type.", a.m_name[nr].c_str(), itemName);
    return -1;
  }
  // The path request keeps the pointer, so it gets the table's constant name.
  RequestPath(a, nr, -1, 0, itemTypes[type].name);
  return a.NextPlanStep(nr);
}

}  // namespace

const StepHandlerRow stepHandlers[NUMSTEPHANDLERS] = {
    {"pickup_", "PerformPickup", PerformPickup},
    {"drop_", "PerformDrop", PerformDrop},
    {"walk_to_", "PerformWalkTo", WalkTo},
    {"find_", "PerformFind", Find},
    {"cut_tree", "PerformCutTree", PerformCutTree},
    {"cut_stone", "PerformCutStone", PerformCutStone},
    {"harvest", "PerformHarvest", PerformHarvest},
    {"millgrain", "PerformMillGrain", PerformMillGrain},
    {"deliver_", "PerformDeliver", PerformDeliver},
    {"fill_bucket", "PerformFillBucket", PerformFillBucket},
    {"irrigate", "PerformIrrigate", PerformIrrigate},
    {"saw", "PerformSaw", PerformSaw},
    {"mine_ore", "PerformMineOre", PerformMineOre},
    {"scoop_poop", "PerformScoopPoop", PerformScoopPoop},
    {"plant_tree", "PerformPlantTree", PerformPlantTree},
    {"smelt", "PerformSmelt", PerformSmelt},
    {"build_", "PerformBuild", PerformBuild},
    {"scavenge_", "PerformScavenge", Scavenge},
    {"forge_", "PerformForge", PerformForge},
    {"clear_", "PerformClear", PerformClear},
    {"eat_", "PerformEat", PerformEat},
    {"reap_", "PerformReap", PerformReap},
    {"free", "PerformFree", PerformFree},
    {"greet", "PerformGreet", PerformGreet},
    {"stake_", "PerformStake", PerformStake},
    {"stock_", "PerformStock", PerformStock},
    {"smash_chest", "PerformSmashChest", PerformSmashChest},
};

int StepHandlerFind(const char* name) {
  if (!name) return -1;
  for (int i = 0; i < NUMSTEPHANDLERS; ++i)
    if (!strncmp(name, stepHandlers[i].prefix, strlen(stepHandlers[i].prefix))) return i;
  return -1;
}

int Actors::Perform(int nr, float dt) {
  if (!IsValid(nr)) return -1;
  const int stage = m_planStage[nr];
  if (m_planSize[nr] <= 0 || !m_planActive[nr] || stage >= m_planSize[nr]) return -1;
  ASSERTM_OR_RETURN(stage >= 0 && stage < c_planStepLimit, -1, "%s at plan stage %d", m_name[nr].c_str(), stage);
  const char* name = m_planActions[nr][stage];
  const int row = StepHandlerFind(name);
  int result = -1;
  if (row < 0) {
    // Such a step can never be performed; giving the plan up lets the character choose again
    // instead of repeating this line every step for good.
    LOGE("Failed to handle '%s'", name ? name : "(null)");
  } else {
    // What a character's own step puts into the world is no news to that character: a failure it
    // has noted since still counts as a repeat, so its retries keep backing off.
    const bool noted = m_wld && m_failCount[nr] > 0 && m_failChanges[nr] == m_wld->m_changes;
    result = stepHandlers[row].call(*this, nr, name, dt);
    if (noted) m_failChanges[nr] = m_wld->m_changes;
  }
  if (result < 0) AbandonPlan(nr, NoteFailure(nr, c_replanDelayAfterStepFailure) > 1);
  return m_planStage[nr];
}

int Actors::PrevPlanStep(int nr) {
  if (!IsValid(nr)) return -1;
  ASSERTT(m_planStage[nr] > 0, "m_planStage[nr]");
  // Stepping back before the first step would leave a plan that is neither done nor performable.
  if (m_planStage[nr] > 0) --m_planStage[nr];
  return m_planStage[nr];
}

int Actors::PerformWalkTo(int nr, const char* name) {
  if (!IsValid(nr) || !name || !m_wld) return -1;
  Globe& globe = m_wld->globe;
  const int here = m_loca[nr];
  if (!globe.IsValid(here)) {
    LOGE("%s cannot walk from tile %d.", m_name[nr].c_str(), here);
    return -1;
  }
  const char* trait = name + (strncmp(name, "walk_to_", 8) ? 0 : 8);
  uint64_t mask = 0;
  for (int i = 0; i < NUMATTRIBS; ++i)
    if (!strcmp(attribNames[i], trait)) mask |= 1ull << i;
  const uint64_t goalattribs = mask;
  ASSERTM(goalattribs, "Terrain trait '%s' does not correspond to a grid node attribute.", trait);
  // A site of work must be free for the taking.
  if (mask & c_claimedWorkBits) mask |= AT_UNCLAIMED;

  if ((globe.Attribs(here) & mask) != mask) {
    LOGI("%s will request a path planning for %s", m_name[nr].c_str(), name);
    RequestPath(*this, nr, -1, mask, nullptr);
    return NextPlanStep(nr);
  }
  LOGI("%s is already at %s, skipping %s", m_name[nr].c_str(), trait, name);
  // The pathing thread may have claimed the site since the bits were read: then another site
  // is walked to, as when this one was taken before.
  if ((mask & AT_UNCLAIMED) && !StepClaim(*this, nr, here, name)) {
    LOGI("%s found tile %d claimed and will request a path planning for %s", m_name[nr].c_str(), here, name);
    RequestPath(*this, nr, -1, mask, nullptr);
  }
  return NextPlanStep(nr);
}

int Actors::PerformFind(int nr, const char* name) {
  if (!IsValid(nr) || !name) return -1;
  return RequestItemPath(*this, nr, name + (strncmp(name, "find_", 5) ? 0 : 5));
}

int Actors::PerformScavenge(int nr, const char* name) {
  if (!IsValid(nr) || !name) return -1;
  return RequestItemPath(*this, nr, name + (strncmp(name, "scavenge_", 9) ? 0 : 9));
}

const char* StepNameAfter(const char* name, const char* prefix) {
  const size_t n = strlen(prefix);
  return strncmp(name, prefix, n) ? name : name + n;
}

int StepTile(Actors& actors, int nr, const char* name) {
  if (!actors.IsValid(nr) || !actors.m_wld || !name) {
    LOGE("Cannot perform a step for character %d.", nr);
    return -1;
  }
  const int loc = actors.m_loca[nr];
  if (!actors.m_wld->globe.IsValid(loc)) {
    LOGE("%s cannot %s at tile %d: no such tile.", actors.m_name[nr].c_str(), name, loc);
    return -1;
  }
  return loc;
}

bool StepFirstCall(const Actors& actors, int nr, const char* name) {
  return actors.m_actionDelay[nr] == ActionDuration(name);
}

bool StepCountDown(Actors& actors, int nr, float dt) {
  actors.m_actionDelay[nr] -= dt;
  return actors.m_actionDelay[nr] > 0.0f;
}

bool StepClaim(Actors& actors, int nr, int tile, const char* action) {
  Globe& globe = actors.m_wld->globe;
  const char* who = actors.m_name[nr].c_str();
  if (actors.m_clai[nr] == tile && !(globe.Attribs(tile) & AT_UNCLAIMED)) return true;
  if (!globe.ClaimTake(tile)) return false;
  // One site at a time: a site still held elsewhere would otherwise stay claimed for good.
  const int old = actors.m_clai[nr];
  if (old != -1 && old != tile) {
    globe.ClaimGiveBack(old);
    LOGI("%s relinquished claim on tile %d.", who, old);
  }
  actors.m_clai[nr] = tile;
  LOGI("%s claimed constuction site at tile %d for %s", who, tile, action);
  return true;
}

void StepReleaseClaims(Actors& actors, int nr, int /*tile*/) {
  // Only the holder gives a claim back: one who worked the tile without holding it (it planned
  // the work standing there) leaves it to whoever holds it.
  const int held = actors.m_clai[nr];
  if (held == -1) return;
  actors.m_wld->globe.ClaimGiveBack(held);
  actors.m_clai[nr] = -1;
}

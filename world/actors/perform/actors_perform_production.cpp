// Production plan steps: turning trees, rocks, ore and produce into goods on the character's tile.
#include "world/actors/perform/actors_perform_production.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "utility/log.h"
#include "world/parts/items.h"
#include "world/parts/rocks.h"
#include "world/parts/trees.h"
#include "world/planet/globe.h"
#include "world/wld.h"

namespace {

bool Carries(const Actors& a, int nr, const char* item) { return a.m_wld->items.FindCarried(item, nr) >= 0; }

bool TileHas(const Actors& a, int tile, uint64_t bit) { return (a.m_wld->globe.Attribs(tile) & bit) != 0; }

// Felling or quarrying with the item table full would destroy the tree or rock and lose its
// product, so such work is refused before anything changes.
bool RoomForProduct(const Actors& a, int nr, const char* product, int loc) {
  if (a.m_wld->items.HasRoomFor(1)) return true;
  LOGE("%s cannot make %s at tile %d: the world holds too many items.", a.m_name[nr].c_str(), product, loc);
  return false;
}

// Turns the carried input (when the character has one) into the product on the tile: the slot or
// -1. The input goes only as the product comes, so in a full item table the product takes the
// input's slot; with neither an input nor a free slot nothing changes and the step can be tried
// again once there is room.
int Produce(Actors& a, int nr, const char* input, const char* product, int loc, uint64_t status) {
  Items& items = a.m_wld->items;
  const int carried = input ? items.FindCarried(input, nr) : -1;
  if (carried < 0 && !RoomForProduct(a, nr, product, loc)) return -1;
  if (carried >= 0) items.Remove(carried);
  return items.Add(product, loc, status);
}

// Makes the product on the tile from the carried input and announces it. The step cannot count as
// done without its product (the plan's next steps rely on it), so a product that cannot be made
// fails the step; the line saying why has been logged.
int MakeProduct(Actors& a, int nr, const char* input, const char* product, int loc, uint64_t status,
                const char* eventFormat) {
  if (Produce(a, nr, input, product, loc, status) < 0) return -1;
  LogEvent(eventFormat, a.m_name[nr].c_str());
  return a.NextPlanStep(nr);
}

}  // namespace

int PerformCutTree(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  Wld& w = *a.m_wld;
  const char* who = a.m_name[nr].c_str();
  if (!Carries(a, nr, "woodaxe")) {
    LOGE("%s can't cut a tree without an axe!", who);
    return -1;
  }
  int kind = 0;
  for (int k = TK_PINE; k <= TK_SEED && !kind; ++k)
    if (w.trees.IsBlocked(loc, k) > 0) kind = k;
  if (!kind) {
    LOGE("%s can't cut a tree on a tile without trees!", who);
    return -1;
  }
  if (StepFirstCall(a, nr, name)) a.m_wld->PostF("soundeffect name=cuttree gain=5.0 tile=%d", loc);
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  if (!RoomForProduct(a, nr, "timber", loc)) return -1;
  const int left = w.trees.Fell(loc, kind);
  if (left < 0) {
    LOGI("%s failed to chop tree of type %d at loc %d", who, kind, loc);
    return -1;
  }
  if (w.items.Add("timber", loc, IS_TIMBER) >= 0) LogEvent("%s cut down a tree.", who);
  if (strncmp(name, "clear_", 6)) {
    StepReleaseClaims(a, nr, loc);
    return a.NextPlanStep(nr);
  }
  // Clearing a site fells one tree per cycle and goes on while any standing tree is left:
  // -2 asks for another cycle, -3 says the site is clear of trees. (Counting only the kind just
  // felled would call a site with maples left clear after its last pine.)
  a.m_actionDelay[nr] = ActionDuration("cut_tree");
  LOGI("%s might just as well keep doing %s", who, name);
  return w.trees.IsBlocked(loc, -1) > 0 ? -2 : -3;
}

int PerformCutStone(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  Wld& w = *a.m_wld;
  const char* who = a.m_name[nr].c_str();
  if (!Carries(a, nr, "pickaxe")) {
    LOGE("%s can't cut stone without a pickaxe!", who);
    return -1;
  }
  const int slot = w.rocks.FirstSlot(loc);
  if (slot < 0) {
    LOGE("%s can't cut stone on a tile without rocks!", who);
    return -1;
  }
  if (StepFirstCall(a, nr, name)) a.m_wld->PostF("soundeffect name=cutstone gain=5.0 tile=%d", loc);
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  if (!RoomForProduct(a, nr, "stone", loc)) return -1;
  if (w.rocks.Quarry(loc, slot) < 0) return -1;
  if (w.items.Add("stone", loc, IS_MATERIAL) >= 0) LogEvent("%s quarried a stone.", who);
  StepReleaseClaims(a, nr, loc);
  return a.NextPlanStep(nr);
}

int PerformClear(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  Wld& w = *a.m_wld;
  const char* who = a.m_name[nr].c_str();
  const char* blockage = name + (strncmp(name, "clear_", 6) ? 0 : 6);
  const bool cuttree = !strcmp(blockage, "woodyblock");
  const bool cutston = !strcmp(blockage, "rockyblock");
  // Only trees and stones can be cleared: waiting on any other blockage would hold the character for good.
  ASSERTM_OR_RETURN(cuttree || cutston, -1, "Unkown blockage '%s'", blockage);
  if (cuttree && !TileHas(a, loc, AT_WOODYBLOCK)) {
    LOGI("%s cannot clear %s when not at woody block.", who, blockage);
    return -1;
  }
  if (cutston && !TileHas(a, loc, AT_ROCKYBLOCK)) {
    LOGI("%s cannot clear %s when not at rocky block.", who, blockage);
    return -1;
  }
  if (cuttree) {
    if (w.trees.IsBlocked(loc, -1) == 0) {
      LOGI("%s cleared construction site of trees.", who);
      return a.NextPlanStep(nr);
    }
    StepReleaseClaims(a, nr, loc);
    const int r = PerformCutTree(a, nr, name, dt);
    if (r == -3) {
      LOGI("%s is done with %s", who, name);
      return a.NextPlanStep(nr);
    }
    // A missing axe or a failed felling would repeat every step for good; give the plan up.
    if (r == -1) return -1;
    return a.m_planStage[nr];
  }
  if (w.rocks.IsBlocked(loc, -1) == 0) {
    LogEvent("%s cleared construction site of rocks.", who);
    return a.NextPlanStep(nr);
  }
  // One stone per plan: the next plan quarries the next piece.
  StepReleaseClaims(a, nr, loc);
  return PerformCutStone(a, nr, name, dt);
}

int PerformSaw(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  if (!TileHas(a, loc, AT_SAWMILL)) {
    LOGE("%s can't saw when not on a sawmill site!", a.m_name[nr].c_str());
    return -1;
  }
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  return MakeProduct(a, nr, "timber", "lumber", loc, IS_MATERIAL, "%s sawed timber into lumber.");
}

int PerformMineOre(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  const char* who = a.m_name[nr].c_str();
  if (!Carries(a, nr, "pickaxe")) {
    LOGI("%s can't mine ore without a pickaxe!", who);
    return -1;
  }
  if (!TileHas(a, loc, AT_IRONDEPOSIT)) {
    LOGI("%s can't mine for ore when not at a oremine site.", who);
    return -1;
  }
  if (StepFirstCall(a, nr, name)) a.m_wld->PostF("soundeffect name=cutstone gain=5.0 tile=%d", loc);
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  // The deposit is not used up.
  return MakeProduct(a, nr, nullptr, "ironore", loc, 0, "%s mined ironore.");
}

int PerformSmelt(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  const char* who = a.m_name[nr].c_str();
  if (!TileHas(a, loc, AT_SMELTER)) {
    LOGE("%s can't smelt when not at a smelter!", who);
    return -1;
  }
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  if (Produce(a, nr, "ironore", "ingot", loc, 0) < 0) {
    LOGE("Failed to spawn ingot when smelting ironore.");
    return -1;
  }
  LogEvent("%s smelted iron ore into an ingot.", who);
  return a.NextPlanStep(nr);
}

int PerformForge(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  const char* who = a.m_name[nr].c_str();
  const char* thing = name + (strncmp(name, "forge_", 6) ? 0 : 6);
  if (!TileHas(a, loc, AT_SMITHY)) {
    LOGE("%s can't forge when not at a smithy!", who);
    return -1;
  }
  if (!*thing) {
    // An item without a name would read as a free slot of the item table.
    LOGE("%s cannot %s: nothing to forge.", who, name);
    return -1;
  }
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  if (!strcmp(thing, "crown")) {
    // The crown is worn, not carried: it lets the player's character ascend through a stargate.
    const int ingot = a.m_wld->items.FindCarried("ingot", nr);
    if (ingot >= 0) a.m_wld->items.Remove(ingot);
    a.m_stat[nr] |= ST_CROWNED;
    a.m_wld->PostStat("s_crownings", 1, true);
  } else if (Produce(a, nr, "ingot", thing, loc, IS_TOOL) < 0) {
    LOGE("Failed to spawn %s when forging.", thing);
    return -1;
  }
  LogEvent("%s forged ingot into a %s", who, thing);
  return a.NextPlanStep(nr);
}

int PerformPlantTree(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  const char* who = a.m_name[nr].c_str();
  if (!TileHas(a, loc, AT_GROVE)) {
    LOGE("%s can't plant a tree when not on a grove tile!", who);
    return -1;
  }
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  if (Produce(a, nr, "manure", "emptybucket", loc, 0) < 0) LOGE("Failed to spawn empty bucket when planting tree.");
  const int r = a.m_wld->trees.Plant(loc);
  LogEvent("%s %s a tree.", who, r >= 0 ? "planted" : "failed to plant");
  return r >= 0 ? a.NextPlanStep(nr) : -1;
}

int PerformScoopPoop(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  const int poop = a.m_wld->items.FindAt("poop", loc, true);
  if (poop >= 0) a.m_wld->items.Remove(poop);
  return MakeProduct(a, nr, "emptybucket", "manure", loc, 0, "%s collected manure.");
}

int PerformEat(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  const char* who = a.m_name[nr].c_str();
  const char* food = name + (strncmp(name, "eat_", 4) ? 0 : 4);
  const int slot = a.m_wld->items.FindCarried(food, nr);
  if (slot >= 0) {
    // Eaten on the first call, so the food is gone even if the meal is interrupted.
    a.m_wld->items.Remove(slot);
    a.m_wld->PostF("soundeffect name=apple gain=5 tile=%d", loc);
  }
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  a.m_timeSinceEating[nr] = 0.0f;
  if (a.m_timeUntilPoop[nr] <= 0.0f) a.m_timeUntilPoop[nr] = static_cast<float>(10 + (rand() & 31));
  LogEvent("%s ate %s.", who, food);
  if (a.m_assi[nr] == 5) {
    a.m_assi[nr] = a.m_prva[nr];
    if (a.m_assi[nr] != -1) LOGI("%s is back on assignment %s", who, AssignmentName(a.m_assi[nr]));
  }
  return a.NextPlanStep(nr);
}

int PerformHarvest(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  const char* who = a.m_name[nr].c_str();
  if (!Carries(a, nr, "scythe")) {
    LOGE("%s can't harvest without a scythe!", who);
    return -1;
  }
  if (!TileHas(a, loc, AT_GRAINFARM)) {
    LOGE("%s can't harvest when not on a grainfarm!", who);
    return -1;
  }
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  return MakeProduct(a, nr, nullptr, "grain", loc, 0, "%s harvested grain.");
}

int PerformMillGrain(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  const char* who = a.m_name[nr].c_str();
  if (!TileHas(a, loc, AT_WATERMILL)) {
    LOGE("%s can't mill grain when not on a mill site!", who);
    return -1;
  }
  if (!Carries(a, nr, "grain")) {
    LOGE("Actor %s has no grain to mill.", who);
    return -1;
  }
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  if (!Carries(a, nr, "grain")) {
    LOGE("Failed to remove grain from the world.");
    return -1;
  }
  return MakeProduct(a, nr, "grain", "flour", loc, 0, "%s milled grain.");
}

int PerformFillBucket(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  if (!TileHas(a, loc, AT_WATERWELL)) {
    LOGE("%s can't fill bucket when not near a well!", a.m_name[nr].c_str());
    return -1;
  }
  if (StepFirstCall(a, nr, name) && Carries(a, nr, "emptybucket"))
    a.m_wld->PostF("soundeffect name=waterpickup gain=5.0 tile=%d", loc);
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  return MakeProduct(a, nr, "emptybucket", "water", loc, 0, "%s filled bucket with water.");
}

int PerformIrrigate(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  if (!TileHas(a, loc, AT_GRAINFARM)) {
    LOGE("%s can't irrigate when not at grain farm.", a.m_name[nr].c_str());
    return -1;
  }
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  return MakeProduct(a, nr, "water", "emptybucket", loc, 0, "%s irrigated grain farm.");
}

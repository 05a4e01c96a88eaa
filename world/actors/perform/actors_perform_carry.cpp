// Carrying steps: moving items between the ground and characters' hands, and spilling chests.
#include "world/actors/perform/actors_perform_carry.h"

#include <cstdio>
#include <cstring>

#include "utility/log.h"
#include "world/actors/perform/actors_perform.h"
#include "world/wld.h"

namespace {

// Adds each named item on the tile; a failed add is reported and the rest still come.
void AddList(Items& items, const char* const* names, int count, int tile, uint64_t status) {
  for (int i = 0; i < count; ++i)
    if (items.Add(names[i], tile, status) < 0) LOGE("Failed to add '%s' to tile %d", names[i], tile);
}

// Puts the carried item of that name down on the tile; false with a line when none is carried.
bool DropCarried(Actors& a, int nr, const char* item, int loc) {
  Items& items = a.m_wld->items;
  const int carried = items.FindCarried(item, nr);
  if (carried < 0) {
    LOGI("No %s carried by %s.", item, a.m_name[nr].c_str());
    return false;
  }
  if (items.Drop(carried, loc) >= 0) LogEvent("%s dropped %s", a.m_name[nr].c_str(), item);
  return true;
}

}  // namespace

int PerformPickup(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  const char* item = StepNameAfter(name, "pickup_");
  Wld* w = a.m_wld;
  const int r = w->items.PickUp(item, loc, nr);
  LogEvent("%s %s %s.", a.m_name[nr].c_str(), r >= 0 ? "picked up" : "failed to pick up", item);
  if (r < 0) return -1;
  Globe& globe = w->globe;
  if (globe.Attribs(loc) & AT_FILLEDSTORAGE) {
    globe.AttribsClear(loc, AT_FILLEDSTORAGE);
    globe.AttribsSet(loc, AT_STORAGE);
    // A store with room again may be what a carrier who could not stock was waiting for.
    ++w->m_changes;
  }
  a.m_wld->PostF("soundeffect name=pickup gain=3 tile=%d", loc);
  return a.NextPlanStep(nr);
}

int PerformDrop(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  if (!DropCarried(a, nr, StepNameAfter(name, "drop_"), loc)) return -1;
  a.m_wld->PostF("soundeffect name=thud gain=2.0 tile=%d", loc);
  return a.NextPlanStep(nr);
}

int PerformDeliver(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  const char* material = StepNameAfter(name, "deliver_");
  Wld* w = a.m_wld;
  const uint64_t bits = w->globe.Attribs(loc);
  if (!strcmp(material, "lumber") && !(bits & AT_WOODCONSTRUCTION)) {
    LOGE("%s can't deliver %s when not on a wood construction site!", a.m_name[nr].c_str(), material);
    return -1;
  }
  if (!strcmp(material, "stone") && !(bits & AT_STONECONSTRUCTION)) {
    LOGE("%s can't deliver %s when not on a stone construction site!", a.m_name[nr].c_str(), material);
    return -1;
  }
  const int carried = w->items.FindCarried(material, nr);
  if (carried < 0) {
    LOGE("Actor %s has no %s to deliver.", a.m_name[nr].c_str(), material);
    return -1;
  }
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  if (w->items.Drop(carried, loc) >= 0) LogEvent("%s delivered %s", a.m_name[nr].c_str(), material);
  a.m_wld->PostF("soundeffect name=thud gain=2.0 tile=%d", loc);
  return a.NextPlanStep(nr);
}

int PerformStock(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  if (!DropCarried(a, nr, StepNameAfter(name, "stock_"), loc)) return -1;
  Wld* w = a.m_wld;
  if (w->items.CountAt(nullptr, loc, false) >= c_storageCrowd) {
    LOGI("Storage tile %d is now too crowded!", loc);
    w->globe.AttribsClear(loc, AT_STORAGE);
    w->globe.AttribsSet(loc, AT_FILLEDSTORAGE);
  }
  a.m_wld->PostF("soundeffect name=thud gain=2.0 tile=%d", loc);
  return a.NextPlanStep(nr);
}

int PerformReap(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  // The delay is not set again: once it has run out, every call reaps one more.
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  const char* item = StepNameAfter(name, "reap_");
  Items& items = a.m_wld->items;
  const char* who = a.m_name[nr].c_str();
  const int r = items.PickUp(item, loc, nr);
  LOGI("%s %s %s.", who, r >= 0 ? "picked up" : "failed to pick up", item);
  if (r >= 0) {
    if (items.CountCarried(item, nr) != 3) return a.m_planStage[nr];
    const int basket = items.FindCarried("basket", nr);
    if (basket < 0) {
      LOGI("%s has no basket for the %s.", who, item);
      return -1;
    }
    items.m_name[basket].Set("provisions");
    items.m_type[basket] = Items::TypeByName("provisions");
    LOGI("%s now has provisions.", who);
    return a.NextPlanStep(nr);
  }
  if (a.m_stat[nr] & ST_CHOSEN) return a.NextPlanStep(nr);
  // Back to the step that led here, to look for more; from the first step there is none.
  if (a.m_planStage[nr] <= 0) {
    LOGI("%s has nothing more to %s.", who, name);
    return -1;
  }
  return a.PrevPlanStep(nr);
}

int PerformSmashChest(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  Wld* w = a.m_wld;
  if (StepFirstCall(a, nr, name)) a.m_wld->PostF("soundeffect name=cratebreak gain=2.0 tile=%d", loc);
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  Items& items = w->items;
  const int chest = items.FindAt("chest", loc, true);
  if (chest < 0) {
    LOGE("There is no chest here.");
    return -1;
  }
  const uint64_t bits = items.m_stat[chest];

  static const char* const tools[] = {"hammer",  "hammer",  "pickaxe",    "pickaxe",
                                      "woodaxe", "woodaxe", "boltcutter", "emptybucket"};
  static const char* const materials[] = {"stone",  "stone",  "stone",  "stone",  "lumber",
                                          "lumber", "lumber", "lumber", "lumber", "lumber"};
  const char* const markers[] = {
      "roadmarker",   "roadmarker",    "bridgemarker",  "bridgemarker",
      "bridgemarker", "sawmillmarker", "storagemarker", (loc & 1) ? "smithymarker" : "smeltermarker"};
  static const char* const gems[] = {"redgem",  "greengem", "yellowgem", "bluegem",
                                     "cyangem", "pinkgem",  "purplegem", "orangegem"};
  static const char* const fruit[] = {"fruit", "fruit", "fruit", "fruit", "fruit", "fruit"};
  static const char* const ore[] = {"ironore"};
  static const char* const pickaxes[] = {"pickaxe", "pickaxe", "pickaxe"};
  static const char* const woodaxes[] = {"woodaxe", "woodaxe", "woodaxe"};
  struct Supplies {
    const char* const* names;
    int count;
    uint64_t status;
  };
  const Supplies supplies[4] = {{fruit, 6, 0}, {ore, 1, 0}, {pickaxes, 3, IS_TOOL}, {woodaxes, 3, IS_TOOL}};
  const Supplies& supply = supplies[loc % 4];
  const char* gem = nullptr;
  if (bits & IS_CHEST_GEM)
    for (const char* g : gems)
      if (!items.Count(g)) {
        gem = g;
        break;
      }

  // The chest stays whole until everything in it has a slot (its own slot is one of them): a gem
  // lost to a full item table could never be found again, and the game could not be won.
  const int contents = ((bits & IS_CHEST_TOOLS) ? 8 : 0) + ((bits & IS_CHEST_MATERIALS) ? 10 : 0) +
                       ((bits & IS_CHEST_MARKERS) ? 8 : 0) + (gem ? 1 : 0) +
                       ((bits & IS_CHEST_SUPPLIES) ? supply.count : 0);
  if (!items.HasRoomFor(contents - 1)) {
    // Said in the message list too: the player pressed SMASH and sees nothing happen.
    LogEvent("%s leaves the chest at tile %d whole: the world has no room for the %d items in it.",
             a.m_name[nr].c_str(), loc, contents);
    return -1;
  }
  items.Remove(chest);

  if (bits & IS_CHEST_TOOLS) AddList(items, tools, 8, loc, IS_TOOL);
  if (bits & IS_CHEST_MATERIALS) AddList(items, materials, 10, loc, IS_MATERIAL);
  if (bits & IS_CHEST_MARKERS) AddList(items, markers, 8, loc, 0);
  if (gem) {
    const int g = items.Add(gem, loc, IS_GEM | IS_GLOWING);
    // A gem that could not be made is not counted as found.
    if (g < 0) {
      LOGE("Failed to add '%s' to tile %d", gem, loc);
    } else {
      items.m_tspe[g] = 1.0f;
      LOGI("Spawned %s", gem);
      w->PostStat("s_gems", 1, true);
    }
  }
  if (bits & IS_CHEST_SUPPLIES) AddList(items, supply.names, supply.count, loc, supply.status);
  return a.NextPlanStep(nr);
}

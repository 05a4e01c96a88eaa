// Construction steps: staking a carried marker out as a site, and building on supplied sites.
#include "world/actors/perform/actors_perform_build.h"

#include <cstdio>
#include <cstring>

#include "utility/log.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/perform/actors_perform.h"
#include "world/wld.h"

namespace {

constexpr uint64_t c_stakedBits = AT_BRIDGECONSTRUCTION | AT_DECKCONSTRUCTION | AT_FACTCONSTRUCTION |
                                  AT_ROADCONSTRUCTION | AT_SUPPLIEDBRIDGEWORK | AT_SUPPLIEDROADWORK |
                                  AT_SUPPLIEDDECKWORK | AT_SUPPLIEDFACTWORK;

struct FactoryMarker {
  const char* marker;
  const char* site;
};
const FactoryMarker c_factoryMarkers[4] = {
    {"sawmillmarker", "sawmillsite"},
    {"smeltermarker", "smeltersite"},
    {"smithymarker", "smithysite"},
    {"storagemarker", "storagesite"},
};

// Posts a sound message that names the sound as well as the tile.
// Raises the tile to the level with a deck site when it lies lower.
void DeckUpTo(Globe& globe, int tile, int level) {
  const int height = globe.m_nodes[tile].height;
  if (height < level) globe.StartDeck(tile, level - height);
}

// A second road site plans the road between the first two; the found path becomes road sites.
void PlanRoad(Actors& a, int nr, int loc) {
  Items& items = a.m_wld->items;
  int sites[c_roadSiteLookup];
  const int count = items.FindNamed("roadsite", sites, c_roadSiteLookup);
  if (count < 2) return;
  const int from = items.m_loca[sites[0]], to = items.m_loca[sites[1]];
  a.m_stat[nr] |= ST_PAVING;
  LOGI("Planning road from %d to %d", from, to);
  RequestPath(a, nr, from != loc ? from : to, 0, nullptr);
  items.Remove(sites[0]);
  items.Remove(sites[1]);
}

// A finished site is nobody's any more.
void ReleaseFinishedSite(Actors& a, int nr, int loc) {
  if (a.m_clai[nr] != loc) return;
  a.m_wld->globe.ClaimGiveBack(loc);
  a.m_clai[nr] = -1;
}

}  // namespace

int PerformStake(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  Wld* w = a.m_wld;
  Globe& globe = w->globe;
  Items& items = w->items;
  const char* who = a.m_name[nr].c_str();
  const char* marker = strncmp(name, "stake_", 6) ? name : name + 6;
  a.m_actionDelay[nr] -= dt;
  const uint64_t bits = globe.Attribs(loc);
  if (bits & c_stakedBits) {
    LOGE("This site is already staked out for construction.");
    return -1;
  }
  const FactoryMarker* factory = nullptr;
  for (const FactoryMarker& f : c_factoryMarkers)
    if (!strcmp(marker, f.marker)) factory = &f;
  const bool bridge = !strcmp(marker, "bridgemarker");
  const bool road = !strcmp(marker, "roadmarker");
  int level = 0;
  if (bridge) {
    if (!(bits & AT_COAST)) {
      LOGE("%s cannot stake at tile %d as it is not coastal.", who, loc);
      return -1;
    }
  } else if (!road) {
    level = globe.IsBuildable(loc);
    if (!(bits & AT_BUILDABLE) || level < 1) {
      LOGE("%s cannot stake at tile %d as it is not buildable.", who, loc);
      return -1;
    }
  }
  if (a.m_actionDelay[nr] > 0.0f) return a.m_planStage[nr];

  // Checked before the ground is touched: a failed stake must not leave the tiles unbuildable
  // and half-raised with no site that will ever use them.
  const int carried = items.FindCarried(marker, nr);
  if (carried < 0) {
    LOGE("%s is not carrying a %s", who, marker);
    return -1;
  }
  int bridgeToward = -1;
  if (bridge) {
    bridgeToward = globe.BridgeStart(loc);
    if (bridgeToward < 0) {
      LOGE("%s cannot stake at tile %d: no water to bridge.", who, loc);
      return -1;
    }
  }

  globe.AttribsClear(loc, AT_BUILDABLE);
  if (factory) {
    // A factory takes the tile and its ring of six, all raised to one level.
    DeckUpTo(globe, loc, level);
    for (int k = 0; k < 6; ++k) {
      const int n = globe.m_nodes[loc].neighbours[k];
      if (!globe.IsValid(n)) continue;
      globe.AttribsClear(n, AT_BUILDABLE);
      globe.ClearBuildableAround(n);
      DeckUpTo(globe, n, level);
    }
  }

  // The marker becomes the site: in a full item table its slot is the one the site takes.
  if (!bridge) items.Remove(carried);
  if (bridge) {
    if (globe.StartBridge(loc, bridgeToward) < 0) return -1;
    items.Remove(carried);
  } else if (road) {
    if (items.Add("roadsite", loc, 0) < 0) {
      LOGE("Failed to add '%s' to tile %d", "roadsite", loc);
      return -1;
    }
    PlanRoad(a, nr, loc);
  } else if (factory) {
    if (items.Add(factory->site, loc, 0) < 0) {
      LOGE("Failed to add '%s' to tile %d", factory->site, loc);
      return -1;
    }
  } else {
    const bool site = false;
    ASSERTT(site, "site");
  }
  a.m_wld->PostF("soundeffect name=thud gain=2.0 tile=%d", a.m_loca[nr]);
  ++w->m_changes;
  return a.NextPlanStep(nr);
}

int PerformBuild(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  Wld* w = a.m_wld;
  Globe& globe = w->globe;
  Items& items = w->items;
  Buildings& buildings = w->buildings;
  const char* who = a.m_name[nr].c_str();
  if (items.FindCarried("hammer", nr) < 0) {
    LOGI("%s cannot %s without a hammer.", who, name);
    return -1;
  }
  const int b = buildings.Find(loc, nullptr);
  if (b < 0) {
    LOGE("There is no building under construction at loc %d", loc);
    return -1;
  }
  const uint64_t bits = globe.Attribs(loc);
  const bool bridge = bits & AT_BRIDGECONSTRUCTION;
  const bool deck = bits & AT_DECKCONSTRUCTION;
  const bool factory = bits & AT_FACTCONSTRUCTION;
  const bool road = bits & AT_ROADCONSTRUCTION;
  const bool usesStone = bridge || road;
  const bool usesWood = bridge || deck || factory;
  if (!usesStone && !usesWood) {
    LOGI("%s cannot build when not at a construction site.", who);
    return -1;
  }
  // A builder holds the site it works, so that no second builder is sent to it; one that finds
  // the site already held by someone else leaves it to them. The player's character builds where
  // it is told and takes no claim.
  if (!(a.m_stat[nr] & ST_CHOSEN) && a.m_clai[nr] != loc && !StepClaim(a, nr, loc, name)) {
    LOGI("%s leaves the site at tile %d to the builder who holds it.", who, loc);
    return -1;
  }
  const int stone = items.FindAt("stone", loc, false);
  const int lumber = items.FindAt("lumber", loc, false);
  if ((usesWood && lumber < 0) || (usesStone && stone < 0)) {
    // Others wait for the material to come; the player is told at once.
    if (a.m_stat[nr] & ST_CHOSEN) {
      LOGI("%s has no material to build with at tile %d.", who, loc);
      return -1;
    }
    return a.m_planStage[nr];
  }
  if (a.m_actionDelay[nr] == ActionDuration(name))
    w->PostF("soundeffect name=%s gain=2.0 tile=%d", road ? "brick" : "hammer", loc);

  a.m_actionDelay[nr] -= dt;
  if (a.m_actionDelay[nr] < 0.0f) {
    // One cycle uses up one unit of each material the site takes.
    if (usesWood) {
      items.Remove(lumber);
      buildings.m_rwoo[b] -= 1;
    }
    if (usesStone) {
      items.Remove(stone);
      buildings.m_rsto[b] -= 1;
    }
    a.m_actionDelay[nr] = ActionDuration(name);
  }
  if (buildings.m_rsto[b] > 0 || buildings.m_rwoo[b] > 0) return a.m_planStage[nr];

  if (bridge) {
    const int r = globe.ExtendBridge(loc);
    if (r == 0) {
      int wood = 0, stoneNeeded = 0;
      if (buildings.SiteMaterials(b, &wood, nullptr, &stoneNeeded, nullptr)) {
        buildings.m_rwoo[b] = wood;
        buildings.m_rsto[b] = stoneNeeded;
      }
    }
    if (r != 0 || items.CountAt("stone", loc, false) < 3 || items.CountAt("lumber", loc, false) < 3) {
      LogEvent("%s finished building bridge.", who);
      StepReleaseClaims(a, nr, loc);
      return a.NextPlanStep(nr);
    }
    LOGI("%s might as well keep doing %s", who, name);
    a.m_actionDelay[nr] = ActionDuration("buildbridge");
    // The site is held for the next piece, taken as any claim is (a claim held elsewhere goes
    // back). The player's character may find it held by a builder: then it goes on building
    // where it was told, and the builder keeps the site.
    StepClaim(a, nr, loc, name);
    return a.m_planStage[nr];
  }
  if (road) {
    LogEvent("%s finished building road.", who);
    globe.BuildRoad(loc);
    ReleaseFinishedSite(a, nr, loc);
    return a.NextPlanStep(nr);
  }
  if (deck) {
    LogEvent("%s finished building deck.", who);
    globe.BuildDeck(loc);
    ReleaseFinishedSite(a, nr, loc);
    return a.NextPlanStep(nr);
  }
  if (factory) {
    LogEvent("%s finished building.", who);
    globe.BuildFactory(loc);
    ReleaseFinishedSite(a, nr, loc);
    return a.NextPlanStep(nr);
  }
  return a.m_planStage[nr];
}

// World generation: forests, rocks and ore, then the start camp, prisoners and gem chests of a new world.
#include "world/planet/worldgen.h"

#include "utility/log.h"
#include "world/wld.h"

const char* const characterNames[NUMCHARACTERNAMES] = {
    "Gahk",   "Grenn", "Gomba", "Brim", "Borlov", "Mishra", "Gunna",  "Grell", "Bahkuk",
    "Kantal", "Ghenu", "Uhrka", "Usho", "Orlo",   "Arko",   "Brimba", "Kraht", "Gholk",
    "Trem",   "Forna", "Duka",  "Tehk", "Krom",   "Spuk",   "Tahl"};
const char* const playerCharacterName = "Ilvaren";

// Prisoners caged next to the landing tile; the rest go to the other continents.
static const int c_campPrisoners = 3;
// A continent smaller than this gets no prisoner.
static const int c_prisonerContinentMin = 8;
// Ten spots around the landing tile carry the fourteen start items.
static const int c_startSpots = 10;
// A band this wide (in tile widths) reaches every tile of any continent.
static const float c_anywhere = 1000.0f;
// Landing tiles drawn before a start continent is given up as too crowded for the camp.
static const int c_landingTries = 16;

const char* WorldGenResultText(int result) {
  switch (result) {
    case WG_OK:
      return "generated";
    case WG_BADWORLD:
      return "the planet is not loaded or the world is not new";
    case WG_NOSTART:
      return "no continent has the size, trees and rocks to start on";
    case WG_NOLANDING:
      return "no open landing tile on the start continent";
    case WG_NOCAMP:
      return "too few free tiles around the landing tile";
    case WG_NOPRISONERS:
      return "no room for all prisoners on the other continents";
    case WG_NOGEMS:
      return "no room for the gem chests on the other continents";
    default:
      return "unknown result";
  }
}

static bool IsLandmass(const Globe& globe, int c) {
  return c >= 0 && c < globe.m_numcontinents && globe.m_contsizes[c] > 0 && globe.m_continents[c] &&
         globe.m_nodes[globe.m_continents[c][0]].type != TP_WATR;
}

// The start rule over per-continent counts; -1 when no continent qualifies.
static int PickStartContinent(const Globe& globe, const int* trees, const int* rocks, const bool* passed) {
  const int minTiles = globe.m_sz / 50;
  int best = -1;
  for (int c = 0; c < globe.m_numcontinents && c < MAXCONTINENTS; ++c) {
    if ((passed && passed[c]) || trees[c] < 3 || rocks[c] < 3 || globe.m_contsizes[c] <= minTiles) continue;
    // Strictly fewer tiles replaces, so ties keep the lower number.
    if (best < 0 || globe.m_contsizes[c] < globe.m_contsizes[best]) best = c;
  }
  return best;
}

int WorldGenStartContinent(const Wld& world) {
  const Globe& globe = world.globe;
  int trees[MAXCONTINENTS] = {}, rocks[MAXCONTINENTS] = {};
  for (int c = 0; c < globe.m_numcontinents && c < MAXCONTINENTS; ++c) {
    int pine, mapl, appl;
    if (IsLandmass(globe, c))
      globe.CountOnContinent(c, &pine, &mapl, &appl, &rocks[c]);
    else
      pine = mapl = appl = 0;
    trees[c] = pine + mapl + appl;
  }
  return PickStartContinent(globe, trees, rocks, nullptr);
}

bool WorldGenCampRoom(const Globe& globe, int landing) {
  if (!globe.IsValid(landing) || globe.m_hexw <= 0.0f) return false;
  const int c = globe.m_nodes[landing].continent;
  if (c >= globe.m_numcontinents || !globe.m_continents[c]) return false;
  // The same distance tests as the random draws, so a tile counted here can be drawn there.
  const float hexw = globe.m_hexw;
  const float campLo = 2.0f * hexw, campHi = 4.0f * hexw, chestLo = 1.0f * hexw, chestHi = 4.8f * hexw;
  const Vec3 p = globe.TilePosition(landing);
  int camp = 0, chests = 0;
  for (int j = 0; j < globe.m_contsizes[c]; ++j) {
    const int u = globe.m_continents[c][j];
    if (globe.Attribs(u) & c_freeTileMask) continue;
    const float d = (globe.TilePosition(u) - p).LengthSquared();
    if (campLo * campLo <= d && d <= campHi * campHi) ++camp;
    if (chestLo * chestLo <= d && d <= chestHi * chestHi) ++chests;
  }
  // The camp's four tiles lie inside the chests' band and stop being free there.
  return camp >= 4 && chests >= 8;
}

// Logs the refusal and hands the result on.
static int Refuse(int variant, int result) {
  LOGE("Cannot generate a world for variant %d: %s.", variant, WorldGenResultText(result));
  return result;
}

// A caged prisoner on the tile; false when the cage or the character could not be added.
static bool AddPrisoner(Wld* world, const char* name, int tile) {
  if (world->buildings.Add("cage", tile, AT_CAGE) < 0) return false;
  const int nr = world->actors.Add(name, tile);
  if (nr < 0) return false;
  world->actors.m_stat[nr] |= ST_PRISONER;
  return true;
}

int Wld::Generate(int variant) {
  // Generation fills a new world once; a second run would overflow the 32 characters.
  const bool fresh = actors.m_cnt == 0 && buildings.m_cnt == 0;
  if (globe.m_sz <= 0 || !globe.m_trfs || globe.m_numcontinents <= 0 || globe.m_hexw <= 0.0f || !fresh)
    return Refuse(variant, WG_BADWORLD);
  const float hexw = globe.m_hexw;

  // 1. Vegetation, rocks and ore, then the attribute bits they give the tiles.
  trees.Generate(variant);
  rocks.Generate(variant);
  minerals.Generate(MK_IRON, variant);
  globe.ComputeAttribs();

  // 2. The census of every landmass.
  const int numContinents = globe.m_numcontinents < MAXCONTINENTS ? globe.m_numcontinents : MAXCONTINENTS;
  int treeCounts[MAXCONTINENTS] = {}, rockCounts[MAXCONTINENTS] = {};
  for (int c = 0; c < numContinents; ++c) {
    if (!IsLandmass(globe, c)) continue;
    int pine, mapl, appl, rock;
    globe.CountOnContinent(c, &pine, &mapl, &appl, &rock);
    treeCounts[c] = pine + mapl + appl;
    rockCounts[c] = rock;
    LOGI("Continent %d has %d tiles. pine=%d mapl=%d appl=%d rock=%d", c, globe.m_contsizes[c], pine, mapl, appl, rock);
  }

  // 3 and 4. The start continent and the landing tile on it: open ground (no trees, no rocks)
  // near the continent's first tile. A landing tile in thick forest cannot take the camp, so
  // another is drawn, and a continent where none can is passed over for the next one by the
  // start rule. A landing tile that can take the camp is kept exactly as first drawn. A planet
  // where no continent qualifies is refused rather than started where the player cannot build.
  bool passed[MAXCONTINENTS] = {};
  int start = -1, landing = -1, candidates = 0;
  bool open = false;
  while (landing < 0) {
    start = PickStartContinent(globe, treeCounts, rockCounts, passed);
    if (start < 0) break;
    passed[start] = true;
    if (candidates++ > 0) LOGW("Trying continent %d as the start continent.", start);
    for (int attempt = 0; attempt < c_landingTries && landing < 0; ++attempt) {
      const int tile = globe.RandomTileNear(globe.m_continents[start][0], 0.0f, 4.0f * hexw, AT_WOODY | AT_ROCKY);
      if (tile < 0) break;
      open = true;
      if (WorldGenCampRoom(globe, tile))
        landing = tile;
      else
        LOGW("Landing tile %d has too few free tiles around it for the camp.", tile);
    }
  }
  if (candidates == 0) return Refuse(variant, WG_NOSTART);
  if (landing < 0) return Refuse(variant, open ? WG_NOCAMP : WG_NOLANDING);

  // Steps 6 and 10 need somewhere other than the start to go; without such a continent their
  // loops could never finish.
  int prisonerLands = 0, gemLands = 0;
  for (int c = 0; c < numContinents; ++c) {
    if (c == start || !IsLandmass(globe, c)) continue;
    ++gemLands;
    if (globe.m_contsizes[c] >= c_prisonerContinentMin) ++prisonerLands;
  }
  if (prisonerLands == 0) return Refuse(variant, WG_NOPRISONERS);
  if (gemLands == 0) return Refuse(variant, WG_NOGEMS);

  // 5. Three cages with prisoners and a depot around the landing tile.
  int camp[4];
  const int campFound = globe.RandomTiles(4, camp, landing, 2.0f * hexw, 4.0f * hexw, c_freeTileMask);
  if (campFound < 4) {
    LOGW("Only %d free tiles for cages and depot around landing tile %d.", campFound, landing);
    return Refuse(variant, WG_NOCAMP);
  }
  int named = 0;
  for (int i = 0; i < c_campPrisoners; ++i)
    if (!AddPrisoner(this, characterNames[named++], camp[i])) return Refuse(variant, WG_BADWORLD);
  if (buildings.Add("depot", camp[3], AT_STORAGE) < 0) return Refuse(variant, WG_BADWORLD);

  // 6. The other prisoners, at most one per qualifying continent per pass. A pass that places
  // nobody means every such continent is full, and further passes would draw the same refusals.
  while (named < NUMCHARACTERNAMES) {
    int placed = 0;
    for (int c = 0; c < numContinents && named < NUMCHARACTERNAMES; ++c) {
      if (c == start || !IsLandmass(globe, c) || globe.m_contsizes[c] < c_prisonerContinentMin) continue;
      const int tile = globe.RandomTileNear(globe.m_continents[c][0], 0.0f, c_anywhere * hexw, c_freeTileMask);
      if (tile < 0) continue;
      if (!AddPrisoner(this, characterNames[named++], tile)) return Refuse(variant, WG_BADWORLD);
      ++placed;
    }
    if (placed == 0) return Refuse(variant, WG_NOPRISONERS);
  }

  // 7. Four chests near the landing tile: tools, materials twice, markers.
  static const uint64_t c_campChests[4] = {IS_CHEST_TOOLS, IS_CHEST_MATERIALS, IS_CHEST_MATERIALS, IS_CHEST_MARKERS};
  int chestTiles[4];
  const int chestsFound = globe.RandomTiles(4, chestTiles, landing, 1.0f * hexw, 4.8f * hexw, c_freeTileMask);
  if (chestsFound < 4) {
    LOGW("Only %d free tiles for the start chests around landing tile %d.", chestsFound, landing);
    return Refuse(variant, WG_NOCAMP);
  }
  for (int i = 0; i < 4; ++i)
    if (items.Add("chest", chestTiles[i], c_campChests[i]) < 0) return Refuse(variant, WG_BADWORLD);

  // 8. Ten spots for the start items. A spot without a free tile falls back to the landing tile,
  // so the first lumber, fruit and the sawmill marker are never lost.
  int spots[c_startSpots];
  for (int k = 0; k < c_startSpots; ++k) {
    spots[k] = globe.RandomTileNear(landing, 1.0f * hexw, 3.0f * hexw, c_freeTileMask);
    if (spots[k] < 0) {
      LOGW("No free tile for start item spot %d; using the landing tile %d.", k, landing);
      spots[k] = landing;
    }
  }

  // 9. Nine lumber, four fruit and the sawmill marker.
  for (int i = 0; i < 14; ++i) {
    const char* name = i < 9 ? "lumber" : i < 13 ? "fruit" : "sawmillmarker";
    const uint64_t status = i < 9 ? uint64_t{IS_MATERIAL} : 0;
    if (items.Add(name, spots[i % c_startSpots], status) < 0) return Refuse(variant, WG_BADWORLD);
  }

  // 10. Gem chests, each with up to three companions, one group per qualifying continent per
  // pass. A pass that adds no gem chest would repeat forever, so it ends generation.
  static const uint64_t c_gemGroup[4] = {IS_CHEST_GEM, IS_CHEST_MARKERS, IS_CHEST_TOOLS, IS_CHEST_SUPPLIES};
  int gems = 0;
  while (gems < NUMGEMCHESTS) {
    const int before = gems;
    for (int c = 0; c < numContinents && gems < NUMGEMCHESTS; ++c) {
      if (c == start || !IsLandmass(globe, c)) continue;
      int picked[4];
      const int found = globe.RandomTiles(4, picked, globe.m_continents[c][0], 0.0f, c_anywhere * hexw, c_freeTileMask);
      for (int i = 0; i < found; ++i) {
        const int slot = items.Add("chest", picked[i], c_gemGroup[i]);
        if (slot < 0) return Refuse(variant, WG_BADWORLD);
        if (i == 0) {
          LOGI("Spawned chest with gem at continent %d, tile %d", c, picked[i]);
          ++gems;
        }
      }
    }
    if (gems == before) return Refuse(variant, WG_NOGEMS);
  }

  // 11. The player's character, falling from the sky onto the landing tile.
  const int player = actors.Add(playerCharacterName, landing);
  if (player < 0) return Refuse(variant, WG_BADWORLD);
  actors.MakeChosenOne(player);

  LOGI("Generated world for variant %d: start continent %d, landing tile %d, %d characters, %d gem chests.", variant,
       start, landing, actors.m_cnt, gems);
  return WG_OK;
}

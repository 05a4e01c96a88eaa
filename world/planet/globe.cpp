// The planet's tiles: loading "custom.top", edge costs, continents, attributes and the tile queries.
#include "world/planet/globe.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "quarnplan256/goap.h"
#include "system/file.h"
#include "utility/log.h"
#include "world/actors/actors_pathing.h"
#include "world/wld.h"

// A topology larger than this is refused as damaged rather than allocated.
#define MAXTILES (1 << 20)

const char* const attribNames[NUMATTRIBS] = {
    "coast",
    "woody",
    "rocky",
    "grove",
    "urban",
    "buildable",
    "waterwell",
    "sawmill",
    "smithy",
    "watermill",
    "grainfarm",
    "bakery",
    "dairyfarm",
    "irondeposit",
    "smelter",
    "storage",
    "filledstorage",
    "cage",
    "bridge",
    "woodconstruction",
    "stoneconstruction",
    "bridgeconstruction",
    "deckconstruction",
    "factconstruction",
    "roadconstruction",
    "woodyblock",
    "rockyblock",
    "suppliedbridgework",
    "suppliedroadwork",
    "supplieddeckwork",
    "suppliedfactwork",
    "unclaimed",
};

int AttribIndex(const char* name) {
  if (!name) return -1;
  for (int i = 0; i < NUMATTRIBS; ++i)
    if (!strcmp(attribNames[i], name)) return i;
  return -1;
}

WorldRng worldRng = {0x0123456789ABCDEFull, 0x5555555555555555ull};

void WorldRngReset() { worldRng = WorldRng{0x0123456789ABCDEFull, 0x5555555555555555ull}; }

static inline uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

uint64_t WorldRngNext() {
  const uint64_t s0 = worldRng.s0;
  uint64_t s1 = worldRng.s1;
  const uint64_t result = s0 + s1;
  s1 ^= s0;
  worldRng.s0 = Rotl(s0, 55) ^ s1 ^ (s1 << 14);
  worldRng.s1 = Rotl(s1, 36);
  return result;
}

// Step costs by height difference (to - from) from -5 to 5: going down is cheaper than up.
static const int c_heightCosts[11] = {25, 20, 12, 6, 2, 2, 4, 8, 14, 22, 28};

static bool IsWaterType(uint8_t type) { return type <= TP_WATR; }

Globe::Globe(Wld* wld) : m_wld(wld) {}

Globe::~Globe() { CleanUp(); }

static void FreeContinents(Globe* g) {
  for (int c = 0; c < MAXCONTINENTS; ++c) {
    delete[] g->m_continents[c];
    g->m_continents[c] = nullptr;
    g->m_contsizes[c] = 0;
  }
  g->m_numcontinents = 0;
}

static void FreeTiles(Globe* g) {
  delete[] g->m_nodes;
  delete[] g->m_trfs;
  delete[] g->m_heights;
  delete[] g->m_inventories;
  delete[] g->m_presences;
  g->m_nodes = nullptr;
  g->m_trfs = nullptr;
  g->m_heights = nullptr;
  g->m_inventories = nullptr;
  g->m_presences = nullptr;
  g->ForgetOccupancy();
  FreeContinents(g);
  g->m_sz = 0;
}

void Globe::CleanUp() {
  const int old = m_sz;
  FreeTiles(this);
  LOGI("Cleaned up globe with %d tiles.", old);
}

// The storage count follows the "storage" bit through these helpers; only a change that touches
// that bit pays for reading the old word back.
static void CountStorageChange(int32_t* count, uint64_t before, uint64_t after) {
  const int change = ((after & AT_STORAGE) != 0) - ((before & AT_STORAGE) != 0);
  if (change) __atomic_fetch_add(count, change, __ATOMIC_RELAXED);
}

uint64_t Globe::Attribs(int tile) const { return __atomic_load_n(&m_nodes[tile].attribs, __ATOMIC_RELAXED); }
void Globe::AttribsSet(int tile, uint64_t bits) {
  if (!(bits & AT_STORAGE)) {
    __atomic_fetch_or(&m_nodes[tile].attribs, bits, __ATOMIC_RELAXED);
    return;
  }
  const uint64_t before = __atomic_fetch_or(&m_nodes[tile].attribs, bits, __ATOMIC_RELAXED);
  CountStorageChange(&m_storageCount, before, before | bits);
}
void Globe::AttribsClear(int tile, uint64_t bits) {
  if (!(bits & AT_STORAGE)) {
    __atomic_fetch_and(&m_nodes[tile].attribs, ~bits, __ATOMIC_RELAXED);
    return;
  }
  const uint64_t before = __atomic_fetch_and(&m_nodes[tile].attribs, ~bits, __ATOMIC_RELAXED);
  CountStorageChange(&m_storageCount, before, before & ~bits);
}
bool Globe::ClaimTake(int tile) {
  if (!IsValid(tile)) return false;
  const uint64_t before =
      __atomic_fetch_and(&m_nodes[tile].attribs, ~static_cast<uint64_t>(AT_UNCLAIMED), __ATOMIC_RELAXED);
  return (before & AT_UNCLAIMED) != 0;
}
void Globe::ClaimGiveBack(int tile) {
  if (!IsValid(tile)) return;
  const uint64_t before =
      __atomic_fetch_or(&m_nodes[tile].attribs, static_cast<uint64_t>(AT_UNCLAIMED), __ATOMIC_RELAXED);
  if (!(before & AT_UNCLAIMED) && m_wld) ++m_wld->m_changes;
}
bool Globe::ClaimHeld(int tile) const {
  if (!IsValid(tile) || !m_wld) return false;
  // Read in step with the pathing thread's claim, which names its site before taking the bit.
  if (__atomic_load_n(&m_nodes[tile].attribs, __ATOMIC_SEQ_CST) & AT_UNCLAIMED) return false;
  const Actors& actors = m_wld->actors;
  for (int n = 0; n < actors.m_cnt; ++n)
    if (actors.m_clai[n] == tile) return true;
  return PathClaimInFlight(actors) == tile;
}
void Globe::ClaimOpen(int tile) {
  // Only a taken bit is given back: while it is set the pathing thread may take it at any moment,
  // and setting it again after that would undo the search's claim. Once clear, nobody but its
  // holder can change it.
  if (!IsValid(tile) || (__atomic_load_n(&m_nodes[tile].attribs, __ATOMIC_SEQ_CST) & AT_UNCLAIMED)) return;
  if (!ClaimHeld(tile)) AttribsSet(tile, AT_UNCLAIMED);
}
void Globe::AttribsStore(int tile, uint64_t bits) {
  const uint64_t before = __atomic_exchange_n(&m_nodes[tile].attribs, bits, __ATOMIC_RELAXED);
  CountStorageChange(&m_storageCount, before, bits);
}

// The farthest a tile centre may lie from the planet's centre on any axis; a planet is of unit
// size, its highest tiles only a few percent above it.
constexpr float c_maxCentre = 100.0f;

int Globe::LoadTopology(const char* name, bool userFolder) {
  if (m_nodes) FreeTiles(this);
  FileHandle f = FileOpenRead(name, userFolder);
  if (!f) {
    LOGE("Failed to open topology '%s'", name);
    return -1;
  }
  // The signature line is short; whatever follows it in this first chunk is node data.
  char head[96];
  const size_t got = FileRead(f, head, sizeof(head) - 1);
  head[got] = 0;
  int sz = 0, consumed = 0;
  float hexw = 0.0f;
  if (sscanf(head, "planet sz=%d hexw=%f%n", &sz, &hexw, &consumed) < 2) {
    LOGE("Failed to load planet signature from '%s'", name);
    FileClose(f);
    return -1;
  }
  if (sz < 12 || sz > MAXTILES || !std::isfinite(hexw)) {
    LOGE("Planet size %d (hexw %f) in '%s' is not a planet.", sz, hexw, name);
    FileClose(f);
    return -1;
  }
  m_sz = sz;
  m_hexw = hexw;
  m_nodes = new GridNode[sz];
  m_trfs = new Matrix44[sz];
  m_heights = new float[sz]();
  m_inventories = new uint64_t[sz]();
  m_presences = new uint64_t[sz]();

  // Skip the one byte (the newline) behind the scanned numbers, then the nodes in one block.
  const size_t want = static_cast<size_t>(sz) * sizeof(GridNode);
  const size_t start = static_cast<size_t>(consumed) + 1;
  size_t have = 0;
  if (start < got) {
    have = got - start;
    if (have > want) have = want;
    memcpy(reinterpret_cast<char*>(m_nodes), head + start, have);
  }
  if (have < want) have += FileRead(f, reinterpret_cast<char*>(m_nodes) + have, want - have);
  FileClose(f);
  if (have != want) {
    LOGE("Failed to load %d gridnodes (%zu bytes) from '%s'", sz, want, name);
    FreeTiles(this);
    return -1;
  }
  LOGI("Read %d nodes from '%s' hexw=%f", m_sz, name, m_hexw);

  // Tile centres lie near the unit sphere; one that is not a number or far off it is a damaged
  // file, and would carry NaN into the transforms and the noise that places the vegetation.
  for (int i = 0; i < m_sz; ++i) {
    const Vec3& c = m_nodes[i].centre;
    if (!(std::fabs(c.x) <= c_maxCentre && std::fabs(c.y) <= c_maxCentre && std::fabs(c.z) <= c_maxCentre)) {
      LOGE("Tile %d of '%s' has its centre at (%g %g %g), off the planet.", i, name, static_cast<double>(c.x),
           static_cast<double>(c.y), static_cast<double>(c.z));
      FreeTiles(this);
      return -1;
    }
  }
  for (int i = 0; i < m_sz; ++i) {
    GridNode& node = m_nodes[i];
    if (node.numneighbours > 6) {
      ASSERTM(node.numneighbours <= 6, "tile %d claims %d neighbours", i, node.numneighbours);
      node.numneighbours = 6;
    }
    for (int k = 0; k < 6; ++k) {
      const int n = node.neighbours[k];
      if (n >= m_sz) {
        AssertFailed("to<m_sz", __FILE__, __LINE__,
                     "neighbour nr %d of tile %d has value %d which is larger than planetsz %d", k, i, n, m_sz);
        // Left in place it would be used as an index later: the slot has no neighbour.
        node.neighbours[k] = -1;
        node.edgecosts[k] = c_edgeWater;
      } else if (n >= 0) {
        LinkTiles(i, n, k);
      } else {
        node.neighbours[k] = -1;
      }
    }
  }
  if (ComputeContinents() < 0) {
    LOGE("Refused the topology '%s'.", name);
    FreeTiles(this);
    return -1;
  }
  return m_sz;
}

void Globe::LinkTiles(int fr, int to, int k) {
  if (fr < 0 || fr >= m_sz) AssertFailed("fr>=0 && fr<m_sz", __FILE__, __LINE__, "invalid fr: %d", fr);
  if (to < 0 || to >= m_sz) AssertFailed("to>=0 && to<m_sz", __FILE__, __LINE__, "invalid to: %d", to);
  ASSERT(k >= 0 && k < 6);
  if (fr < 0 || fr >= m_sz || to < 0 || to >= m_sz || k < 0 || k >= 6) return;
  GridNode& node = m_nodes[fr];
  node.neighbours[k] = to;
  const GridNode& other = m_nodes[to];
  if (IsWaterType(other.type)) {
    node.edgecosts[k] = c_edgeWater;
    return;
  }
  const int d = other.height - node.height;
  node.edgecosts[k] = (d < -5 || d > 5) ? c_edgeSteep : c_heightCosts[d + 5];
}

int Globe::SetEdgeCost(int fr, int to, int cost) {
  ASSERTT(fr >= 0, "fr>=0");
  ASSERTT(to >= 0, "to>=0");
  if (!IsValid(fr) || !IsValid(to)) return 0;
  int count = 0;
  for (int k = 0; k < 6; ++k) {
    if (m_nodes[fr].neighbours[k] == to && !IsWaterType(m_nodes[to].type)) {
      __atomic_store_n(&m_nodes[fr].edgecosts[k], cost, __ATOMIC_RELAXED);
      ++count;
    }
    if (m_nodes[to].neighbours[k] == fr && !IsWaterType(m_nodes[fr].type)) {
      __atomic_store_n(&m_nodes[to].edgecosts[k], cost, __ATOMIC_RELAXED);
      ++count;
    }
  }
  return count;
}

static int SlotOf(const GridNode& node, int to) {
  for (int k = 0; k < 6; ++k)
    if (node.neighbours[k] == to) return k;
  return -1;
}

int Globe::CordonOff(int tile, int except) {
  ASSERTM_OR_RETURN(IsValid(tile), 0, "invalid tile: %d", tile);
  int count = 0;
  for (int a = 0; a < 6; ++a) {
    const int n = m_nodes[tile].neighbours[a];
    if (n < 0 || n == except || n >= m_sz) continue;
    for (int b = 0; b < 6; ++b) {
      const int m = m_nodes[n].neighbours[b];
      if (m < 0 || m == tile || m >= m_sz) continue;
      const int kn = SlotOf(m_nodes[n], m);
      const int km = SlotOf(m_nodes[m], n);
      if (kn < 0 || km < 0) continue;
      // An edge into water stays impassable: 1001 would open it.
      // The pathing thread reads edge costs while the main thread builds: atomic stores.
      if (!IsWaterType(m_nodes[m].type)) __atomic_store_n(&m_nodes[n].edgecosts[kn], c_edgeCordoned, __ATOMIC_RELAXED);
      if (!IsWaterType(m_nodes[n].type)) __atomic_store_n(&m_nodes[m].edgecosts[km], c_edgeCordoned, __ATOMIC_RELAXED);
      ++count;
    }
  }
  return count;
}

void Globe::SetTileTransforms(const Matrix44* trfs) {
  if (!trfs || !m_trfs) return;
  for (int i = 0; i < m_sz; ++i) {
    m_trfs[i] = trfs[i];
    m_heights[i] = m_trfs[i].GetTranslation().Length();
  }
  LOGI("Set %d tile transforms.", m_sz);
}

Vec3 Globe::TilePosition(int nr) const {
  ASSERTT_OR_RETURN(nr < m_sz && nr >= 0, Vec3{}, "nr<m_sz && nr>=0");
  return m_trfs[nr].GetTranslation();
}

int Globe::OppositeNeighbour(int from, int tile) const {
  ASSERTM_OR_RETURN(IsValid(from) && IsValid(tile), -1, "from %d tile %d", from, tile);
  const Vec3 p = TilePosition(from);
  int best = -1;
  float bestDist = -1.0f;
  for (int k = 0; k < 6; ++k) {
    const int n = m_nodes[tile].neighbours[k];
    if (n < 0) continue;
    const float d = (TilePosition(n) - p).LengthSquared();
    if (d > bestDist) bestDist = d, best = n;
  }
  return best;
}

int Globe::NextInLine(int tile, int dx, int dy, const Matrix44& frame) const {
  ASSERTT(dx == 0 || dy == 0, "dx==0 || dy==0");
  ASSERTT(abs(dx) <= 1, "abs(dx) <= 1");
  ASSERTT(abs(dy) <= 1, "abs(dy) <= 1");
  ASSERTM_OR_RETURN(IsValid(tile), -1, "invalid tile: %d", tile);
  // Compared on the unit sphere: a tile raised by a bridge piece or a deck stays where it was
  // for the line, so a bridge's line does not depend on what was built beside it first.
  const Vec3 target = Normalize(TilePosition(tile)) + frame.GetXAxis() * (static_cast<float>(dx) * m_hexw) +
                      frame.GetYAxis() * (static_cast<float>(dy) * m_hexw);
  int bestNr = -1;
  float bestDist = 0.0f;
  for (int k = 0; k < 6; ++k) {
    const int n = m_nodes[tile].neighbours[k];
    if (n < 0) continue;
    const float d = (Normalize(TilePosition(n)) - target).LengthSquared();
    if (bestNr == -1 || d < bestDist) bestDist = d, bestNr = n;
  }
  // Only a damaged topology file gives a tile no neighbours: no line goes on from it.
  if (bestNr == -1) LOGE("Tile %d has no neighbours; no line goes on from it.", tile);
  return bestNr;
}

bool Globe::IsLevel(int tile) const {
  if (!IsValid(tile)) return false;
  const GridNode& node = m_nodes[tile];
  for (int k = 0; k < node.numneighbours && k < 6; ++k) {
    const int n = node.neighbours[k];
    if (n < 0 || m_nodes[n].height != node.height) return false;
  }
  return true;
}

int Globe::ComputeContinents() {
  FreeContinents(this);
  // Flood into a full-size region table first, so that a planet with too many regions is
  // refused before anything is numbered.
  std::vector<int> region(m_sz, -1), queue(m_sz);
  int seas = 0, lands = 0, assigned = 0, lowest = 0;
  std::vector<bool> regionIsSea;
  while (assigned < m_sz) {
    while (lowest < m_sz && region[lowest] != -1) ++lowest;
    ASSERTT(lowest < m_sz, "i<m_sz");
    if (lowest >= m_sz) break;
    const int c = seas + lands;
    const uint8_t type = m_nodes[lowest].type;
    const bool sea = type == TP_WATR;
    sea ? ++seas : ++lands;
    regionIsSea.push_back(sea);
    int head = 0, tail = 0;
    region[lowest] = c;
    queue[tail++] = lowest;
    ++assigned;
    while (head < tail) {
      const int t = queue[head++];
      for (int k = 0; k < 6; ++k) {
        const int n = m_nodes[t].neighbours[k];
        if (n < 0 || n >= m_sz || region[n] != -1 || m_nodes[n].type != type) continue;
        region[n] = c;
        queue[tail++] = n;
        ++assigned;
      }
    }
  }
  LOGI("This globe has %d seas and %d landmasses", seas, lands);
  const int total = seas + lands;
  if (total > MAXCONTINENTS) {
    LOGE("A planet holds at most %d continents and seas, this one has %d.", MAXCONTINENTS, total);
    for (int i = 0; i < m_sz; ++i) m_nodes[i].continent = 255;
    return -1;
  }
  m_numcontinents = total;
  for (int i = 0; i < m_sz; ++i) {
    m_nodes[i].continent = static_cast<uint8_t>(region[i]);
    m_contsizes[region[i]]++;
  }
  int writers[MAXCONTINENTS] = {};
  for (int c = 0; c < total; ++c) m_continents[c] = new int32_t[m_contsizes[c]];
  for (int i = 0; i < m_sz; ++i) m_continents[region[i]][writers[region[i]]++] = i;
  for (int c = 0; c < total; ++c) ASSERTT(writers[c] == m_contsizes[c], "writer == m_contsizes[i]");

  for (int cont = 0; cont < total; ++cont) {
    ASSERTT(m_contsizes[cont], "m_contsizes[cont]");
    int min = -1, max = -1, lowestHeight = 100, highestHeight = -100;
    for (int j = 0; j < m_contsizes[cont]; ++j) {
      const int i = m_continents[cont][j];
      ASSERTT(i >= 0 && i < m_sz, "i>=0 && i<m_sz");
      const GridNode& node = m_nodes[i];
      ASSERT(node.continent == cont);
      if (node.height < lowestHeight) lowestHeight = node.height, min = i;
      if (node.height > highestHeight) highestHeight = node.height, max = i;
    }
    ASSERTT(max != -1, "max!=-1");
    ASSERTT(min != -1, "min!=-1");
    if (!m_wld) continue;
    if (m_nodes[m_continents[cont][0]].type == TP_WATR) {
      if (min >= 0) m_wld->items.Add("buoy", min, 0);
    } else {
      if (max >= 0) m_wld->items.Add("summitmarker", max, 0);
    }
  }
  return lands;
}

void Globe::ComputeAttribs() {
  for (int t = 0; t < m_sz; ++t) {
    uint64_t bits = 0;
    for (int k = 0; k < 6; ++k) {
      const int n = m_nodes[t].neighbours[k];
      if (n >= 0 && m_nodes[n].type == TP_WATR) bits = AT_COAST;
    }
    if (IsBuildable(t) > 0) bits |= AT_BUILDABLE;
    // Trees and rocks make a tile a work place nobody has claimed yet.
    if (m_wld) {
      if (m_wld->trees.IsBlocked(t, -1) >= 1) bits |= AT_WOODY | AT_UNCLAIMED;
      if (m_wld->rocks.IsBlocked(t, -1) >= 1) bits |= AT_ROCKY | AT_UNCLAIMED;
      if (m_wld->trees.m_grove && t < m_wld->trees.m_sz && m_wld->trees.m_grove[t]) bits |= AT_GROVE;
      if (m_wld->minerals.HasDeposit(t, MK_IRON)) bits |= AT_IRONDEPOSIT;
    }
    AttribsStore(t, bits);
  }
}

int Globe::IsBuildable(int tile) const {
  ASSERTM_OR_RETURN(IsValid(tile), 0, "invalid tile: %d", tile);
  const GridNode& node = m_nodes[tile];
  if (node.type == TP_WATR || node.numneighbours != 6) return 0;
  bool missing = false;
  int lo = node.height, hi = node.height;
  for (int k = 0; k < 6; ++k) {
    const int n = node.neighbours[k];
    if (n < 0) {
      missing = true;
      continue;
    }
    if (m_nodes[n].type == TP_WATR) return 0;
    if (m_nodes[n].height < lo) lo = m_nodes[n].height;
    if (m_nodes[n].height > hi) hi = m_nodes[n].height;
  }
  if (missing || hi - lo > 3) return -1;
  return hi;
}

void Globe::ClearBuildableAround(int tile) {
  ASSERTT_OR_RETURN_VOID(tile >= 0 && tile < m_sz, "nr>=0 && nr<m_sz");
  for (int k = 0; k < 6; ++k) {
    const int n = m_nodes[tile].neighbours[k];
    if (n >= 0) AttribsClear(n, AT_BUILDABLE);
  }
}

int Globe::AttribText(uint64_t bits, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  int len = 0;
  buffer[0] = 0;
  for (int b = 0; b < NUMATTRIBS; ++b) {
    if (!(bits & (1ull << b))) continue;
    const char* parts[2] = {len ? "|" : "", attribNames[b]};
    for (const char* p : parts)
      for (; *p && len < size - 1; ++p) buffer[len++] = *p;
  }
  buffer[len] = 0;
  return len;
}

int Globe::SetTerrainAtoms(ActionPlanner* ap, WorldState* ws, int tile, int ownClaim) const {
  ASSERTT(tile >= 0, "location>=0");
  if (!ap || !ws || !IsValid(tile)) return 0;
  static const char c_prefix[] = "terrainis";
  uint64_t bits = Attribs(tile);
  // As a walk to such a site would: one held by another is not there for this character.
  if (!(bits & AT_UNCLAIMED) && tile != ownClaim) bits &= ~c_claimedWorkBits;
  int count = 0;
  for (int i = 0; i < ap->numatoms; ++i) {
    const char* atom = ap->atomnames[i];
    if (!atom || strncmp(atom, c_prefix, sizeof(c_prefix) - 1)) continue;
    const int naidx = AttribIndex(atom + sizeof(c_prefix) - 1);
    ASSERTT(naidx != -1, "naidx!=-1");
    StateSet(ap, ws, atom, naidx >= 0 && (bits & (1ull << naidx)) != 0);
    ++count;
  }
  return count;
}

void Globe::ForgetOccupancy() {
  m_occupancyOf = nullptr;
  m_occupancySz = 0;
  m_storageOf = nullptr;
  m_storageSz = 0;
}

uint64_t Globe::ItemTypesAnywhere() const {
  if (m_occupancyOf == m_inventories && m_occupancySz == m_sz) return m_itemTypesAnywhere;
  // Not rebuilt since the array was made or read: it may hold anything.
  uint64_t anywhere = 0;
  for (int t = 0; m_inventories && t < m_sz; ++t) anywhere |= m_inventories[t];
  return anywhere;
}

void Globe::UpdateOccupancy() {
  if (!m_sz) return;
  const bool known =
      m_occupancyOf == m_inventories && m_occupancySz == m_sz && m_itemScratch.size() == static_cast<size_t>(m_sz);
  if (!known) {
    m_itemScratch.assign(m_sz, 0);
    m_itemTiles.clear();
    m_actorTiles.clear();
    m_itemTiles.reserve(MAXITEMS);
    m_freshTiles.reserve(MAXITEMS);
    m_actorTiles.reserve(MAXACTORS);
  }
  // The pathing thread reads the item bits while they are rebuilt: build them aside and publish
  // each word whole, so a search never sees a tile emptied for a moment.
  uint64_t* scratch = m_itemScratch.data();
  m_freshTiles.clear();
  if (m_wld) {
    const Items& items = m_wld->items;
    const uint64_t sites = AT_BRIDGECONSTRUCTION | AT_DECKCONSTRUCTION | AT_FACTCONSTRUCTION | AT_ROADCONSTRUCTION;
    for (int i = 0; i < items.m_cnt; ++i) {
      if (items.m_name[i].Empty() || items.m_carr[i] != -1 || items.m_clai[i] != -1) continue;
      const int type = items.m_type[i], loc = items.m_loca[i];
      if (type < 0 || type >= 64 || !IsValid(loc)) continue;
      // Material delivered to a site is used up there, not lying about.
      if (type <= 1 && (Attribs(loc) & sites)) continue;
      if (!scratch[loc]) m_freshTiles.push_back(loc);
      scratch[loc] |= 1ull << type;
    }
  }
  auto publish = [&](int t) {
    if (m_inventories[t] != scratch[t]) __atomic_store_n(&m_inventories[t], scratch[t], __ATOMIC_RELAXED);
  };
  if (!known) {
    for (int t = 0; t < m_sz; ++t) publish(t);
  } else {
    // Tiles that held items last step and may hold none now, then the tiles that hold some.
    for (const int t : m_itemTiles) publish(t);
    for (const int t : m_freshTiles) publish(t);
  }
  uint64_t anywhere = 0;
  for (const int t : m_freshTiles) {
    anywhere |= scratch[t];
    scratch[t] = 0;
  }
  m_itemTypesAnywhere = anywhere;
  m_itemTiles.swap(m_freshTiles);

  if (!known)
    memset(m_presences, 0, sizeof(m_presences[0]) * m_sz);
  else
    for (const int t : m_actorTiles) m_presences[t] = 0;
  m_actorTiles.clear();
  m_occupancyOf = m_inventories;
  m_occupancySz = m_sz;
  if (!m_wld) return;
  const Actors& actors = m_wld->actors;
  for (int n = 0; n < actors.m_cnt && n < MAXACTORS; ++n) {
    if (actors.m_name[n].Empty() || !IsValid(actors.m_loca[n])) continue;
    const int t = actors.m_loca[n];
    if (!m_presences[t]) m_actorTiles.push_back(t);
    m_presences[t] |= 1ull << n;
  }
}

void Globe::SurveyTile(int tile, int distance, int attribDist[32], int itemDist[64], int actorDist[64]) const {
  if (!IsValid(tile)) return;
  // Only the set bits are visited: a tile carries a handful of the 160 possible ones.
  for (uint64_t bits = Attribs(tile) & 0xFFFFFFFFull; bits; bits &= bits - 1) {
    const int b = __builtin_ctzll(bits);
    if (attribDist[b] == 0) attribDist[b] = distance;
  }
  for (uint64_t bits = m_inventories[tile]; bits; bits &= bits - 1) {
    const int i = __builtin_ctzll(bits);
    if (itemDist[i] == 0) itemDist[i] = distance;
  }
  // Only free, active characters count as company; caged ones are not met.
  for (uint64_t bits = m_presences[tile]; bits; bits &= bits - 1) {
    const int n = __builtin_ctzll(bits);
    if (actorDist[n] != 0) continue;
    const uint64_t stat = (m_wld && n < MAXACTORS) ? m_wld->actors.m_stat[n] : 0;
    if ((stat & ST_ACTIVE) && !(stat & ST_PRISONER)) actorDist[n] = distance;
  }
}

int Globe::Survey(int start, int limit, int attribDist[32], int itemDist[64], int actorDist[64]) const {
  ASSERTM_OR_RETURN(IsValid(start), 0, "invalid start: %d", start);
  if (limit < 1) limit = 1;
  // A survey reaches a few hundred tiles: the tiles seen are stamped with the survey's number in
  // a per-thread array that outlives the call, instead of clearing a whole-planet array each time.
  thread_local std::vector<uint32_t> seen;
  thread_local uint32_t stamp = 0;
  thread_local std::vector<int32_t> queue, distance;
  if (seen.size() < static_cast<size_t>(m_sz)) {
    seen.assign(m_sz, 0);
    stamp = 0;
  }
  if (++stamp == 0) {
    std::fill(seen.begin(), seen.end(), 0u);
    stamp = 1;
  }
  if (queue.size() < static_cast<size_t>(limit)) {
    queue.resize(limit);
    distance.resize(limit);
  }
  int head = 0, tail = 0;
  seen[start] = stamp;
  distance[tail] = 1;
  queue[tail++] = start;
  while (head < tail) {
    const int d = distance[head];
    const int t = queue[head++];
    SurveyTile(t, d, attribDist, itemDist, actorDist);
    for (int k = 0; k < 6; ++k) {
      const int n = m_nodes[t].neighbours[k];
      if (n < 0 || n >= m_sz || seen[n] == stamp || m_nodes[t].edgecosts[k] < 1) continue;
      seen[n] = stamp;
      if (tail < limit) {
        distance[tail] = d + 1;
        queue[tail++] = n;
      }
    }
  }
  return tail;
}

int Globe::RandomTileNear(int tile, float minDist, float maxDist, uint64_t excluded) const {
  ASSERTM_OR_RETURN(IsValid(tile), -1, "invalid tile: %d", tile);
  const int c = m_nodes[tile].continent;
  if (c >= m_numcontinents || m_contsizes[c] <= 0) return -1;
  const Vec3 p = TilePosition(tile);
  const float lo = minDist * minDist, hi = maxDist * maxDist;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const int u = m_continents[c][WorldRngNext() % static_cast<uint64_t>(m_contsizes[c])];
    const float d = (TilePosition(u) - p).LengthSquared();
    if (lo <= d && d <= hi && (Attribs(u) & excluded) == 0) return u;
  }
  return -1;
}

int Globe::RandomTiles(int count, int* out, int tile, float minDist, float maxDist, uint64_t excluded) const {
  if (!out || count <= 0) return 0;
  int found = 0;
  for (int attempt = 0; attempt < 1000 && found < count; ++attempt) {
    const int u = RandomTileNear(tile, minDist, maxDist, excluded);
    if (u < 0) continue;
    bool seen = false;
    for (int i = 0; i < found; ++i) seen = seen || out[i] == u;
    if (!seen) out[found++] = u;
  }
  return found;
}

int Globe::CountOnContinent(int cont, int* pine, int* mapl, int* appl, int* rock) const {
  *pine = *mapl = *appl = *rock = 0;
  ASSERTT_OR_RETURN(cont >= 0 && cont < m_numcontinents, 0, "cont>=0 && cont<m_numcontinents");
  if (!m_wld) return 0;
  if (m_nodes[m_continents[cont][0]].type == TP_WATR) return 0;
  const Trees& trees = m_wld->trees;
  for (int j = 0; j < m_contsizes[cont]; ++j) {
    const int t = m_continents[cont][j];
    if (t < trees.m_sz) {
      if (trees.m_density[TK_PINE]) *pine += trees.m_density[TK_PINE][t];
      if (trees.m_density[TK_MAPL]) *mapl += trees.m_density[TK_MAPL][t];
      if (trees.m_density[TK_APPL]) *appl += trees.m_density[TK_APPL][t];
    }
    *rock += m_wld->rocks.IsBlocked(t, -1);
  }
  return 1;
}

int Globe::SeparateActors() {
  if (!m_wld) return 0;
  Actors& actors = m_wld->actors;
  int pushes = 0;
  // Each character stands on one tile, so the order of the tiles changes no sum: only the tiles
  // the last rebuild marked are visited (all of them while the rebuild has not run).
  const bool known = m_occupancyOf == m_inventories && m_occupancySz == m_sz;
  const int tiles = known ? static_cast<int>(m_actorTiles.size()) : m_sz;
  for (int i = 0; i < tiles; ++i) {
    const int t = known ? m_actorTiles[i] : i;
    const uint64_t present = m_presences[t];
    if (!(present & (present - 1))) continue;  // nobody or one alone: no pairs
    const int last = actors.m_cnt < MAXACTORS ? actors.m_cnt : MAXACTORS;
    int here[MAXACTORS], count = 0;
    for (uint64_t bits = present; bits; bits &= bits - 1) {
      const int n = __builtin_ctzll(bits);
      if (n >= last) break;
      if (actors.m_stat[n] & ST_ACTIVE) here[count++] = n;
    }
    for (int a = 0; a < count; ++a) {
      for (int b = a + 1; b < count; ++b) {
        const int i = here[a], j = here[b];
        const Vec3 pi = actors.m_trfs[i].GetTranslation(), pj = actors.m_trfs[j].GetTranslation();
        const float k = (0.3f * m_hexw - (pi - pj).Length()) / m_hexw;
        if (k <= 0.0f) continue;
        const float f = 3000.0f * k * k;
        actors.m_lacc[i] += (pi - pj) * f;
        actors.m_lacc[j] += (pj - pi) * f;
        ++pushes;
      }
    }
  }
  return pushes;
}

int Globe::CountStorage() const {
  if (m_storageOf != m_nodes || m_storageSz != m_sz) {
    // The tiles were made or read whole since the last count: count once, then follow the changes.
    int count = 0;
    for (int t = 0; t < m_sz; ++t)
      if (Attribs(t) & AT_STORAGE) ++count;
    __atomic_store_n(&m_storageCount, count, __ATOMIC_RELAXED);
    m_storageOf = m_nodes;
    m_storageSz = m_sz;
  }
  return __atomic_load_n(&m_storageCount, __ATOMIC_RELAXED);
}

int TileTransformsBuild(const Globe& globe, const GeoVertex* vertices, int vertexCount, Matrix44* out) {
  if (!vertices || !out) return -1;
  const int n = globe.m_sz;
  const long long last = n <= 12 ? (n - 1LL) * 9 + 1 : 12LL * 9 + (n - 1LL - 12) * 12 + 1;
  if (n <= 0 || last >= vertexCount) {
    LOGE("The planet model has %d vertices, too few for %d tiles.", vertexCount, n);
    return -1;
  }
  for (int t = 0; t < n; ++t) {
    const int k = (t < 12 ? t : 12) * 9 + (t > 12 ? t - 12 : 0) * 12;
    const Vec3 a{vertices[k].x, vertices[k].y, vertices[k].z};
    const Vec3 b{vertices[k + 1].x, vertices[k + 1].y, vertices[k + 1].z};
    const Vec3 centre = globe.m_nodes[t].centre;
    // A tile whose first edge has no length or runs along its centre gives no direction to
    // lean toward: a damaged model, refused rather than taken as an impossible state.
    if (!(Cross(Normalize(a - b), Normalize(centre)).LengthSquared() > 0.0f)) {
      LOGE("The planet model's tile %d has no direction (its first edge runs along its centre).", t);
      return -1;
    }
    Matrix44 m = Matrix44::AlignZY(Normalize(a - b), Normalize(centre));
    m.SetTranslation(centre);
    out[t] = m;
  }
  return 0;
}

int TileTransformsLoad(const Globe& globe, const char* name, bool userFolder, Matrix44* out) {
  FileHandle f = FileOpenRead(name, userFolder);
  if (!f) {
    LOGE("Cannot open planet model '%s'", name);
    return -1;
  }
  char magic[4] = {};
  int32_t counts[2] = {};
  bool ok = FileRead(f, magic, 4) == 4 && !memcmp(magic, "geo ", 4) && FileRead(f, counts, 8) == 8;
  // The tiles' fans come first, so only the triangles are needed.
  const int64_t vertexCount = ok ? int64_t{counts[0]} * 3 : 0;
  ok = ok && counts[0] > 0 && vertexCount <= int64_t{16} * MAXTILES;
  std::vector<GeoVertex> vertices(ok ? vertexCount : 0);
  if (ok) {
    const size_t bytes = vertices.size() * sizeof(GeoVertex);
    ok = FileRead(f, vertices.data(), bytes) == bytes;
  }
  FileClose(f);
  if (!ok) {
    LOGE("Planet model '%s' is damaged.", name);
    return -1;
  }
  return TileTransformsBuild(globe, vertices.data(), static_cast<int>(vertexCount), out);
}

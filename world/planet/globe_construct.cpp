// Construction on tiles: bridge, deck, factory and road sites, and what finishing them does to the tiles.
#include "world/planet/globe_construct.h"

#include <cstdio>
#include <cstring>

#include "utility/log.h"
#include "world/wld.h"

namespace {

constexpr uint64_t c_bridgeSiteBits = AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION | AT_BRIDGECONSTRUCTION;
constexpr uint64_t c_roadSiteBits = AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION;
constexpr uint64_t c_deckSiteBits = AT_WOODCONSTRUCTION | AT_DECKCONSTRUCTION;
// A tile carrying any of these is some other site already and is not paved over.
constexpr uint64_t c_anySiteBits = AT_BRIDGECONSTRUCTION | AT_DECKCONSTRUCTION | AT_FACTCONSTRUCTION |
                                   AT_ROADCONSTRUCTION | AT_SUPPLIEDBRIDGEWORK | AT_SUPPLIEDROADWORK |
                                   AT_SUPPLIEDDECKWORK | AT_SUPPLIEDFACTWORK;

const char* const c_deckSites[3] = {"dkconstruction1", "dkconstruction2", "dkconstruction3"};
const char* const c_decks[3] = {"singledeck", "doubledeck", "trippledeck"};

struct FactoryKind {
  const char* site;      // the item staked on the tile
  const char* building;  // what the site becomes
  uint64_t bit;
};
const FactoryKind c_factoryKinds[4] = {
    {"sawmillsite", "sawmill", AT_SAWMILL},
    {"smeltersite", "smelter", AT_SMELTER},
    {"smithysite", "smithy", AT_SMITHY},
    {"storagesite", "storage", AT_STORAGE},
};

// The pathing thread reads edge costs and centres while the main thread builds, so both are
// written with relaxed atomic stores (it reads them the same way).
void EdgeCostStore(GridNode& node, int slot, int cost) {
  __atomic_store_n(&node.edgecosts[slot], cost, __ATOMIC_RELAXED);
}
int EdgeCostLoad(const GridNode& node, int slot) { return __atomic_load_n(&node.edgecosts[slot], __ATOMIC_RELAXED); }
void FloatStore(float* p, float v) { __atomic_store(p, &v, __ATOMIC_RELAXED); }

bool IsWater(const GridNode& node) { return node.type == TP_WATR; }

}  // namespace

void GlobePave(Wld* world, int nr) {
  if (world) world->globe.Pave(nr);
}

void Globe::RaiseTile(int tile, float distance) {
  ASSERTM_OR_RETURN_VOID(IsValid(tile), "invalid tile: %d", tile);
  if (!m_trfs) return;
  const Vec3 up = Normalize(m_trfs[tile].GetZAxis()) * distance;
  m_trfs[tile].SetTranslation(m_trfs[tile].GetTranslation() + up);
  m_heights[tile] = m_trfs[tile].GetTranslation().Length();
  Buildings& buildings = m_wld->buildings;
  for (int b = 0; b < buildings.m_cnt; ++b)
    if (buildings.m_loca[b] == tile && !buildings.m_name[b].Empty())
      buildings.m_trfs[b].SetTranslation(buildings.m_trfs[b].GetTranslation() + up);
  Vec3& c = m_nodes[tile].centre;
  FloatStore(&c.x, c.x + up.x);
  FloatStore(&c.y, c.y + up.y);
  FloatStore(&c.z, c.z + up.z);
}

Matrix44 FacingFrame(const Matrix44& at, const Vec3& target, bool away) {
  const Vec3 p = at.GetTranslation();
  Vec3 d = Normalize(Normalize(target) - Normalize(p));
  if (away) d = -d;
  const Vec3 up = Normalize(at.GetZAxis());
  // Only a damaged planet puts the target on the tile itself or straight above it: no direction
  // to face, so the frame stays as it is.
  if (!(Cross(d, up).LengthSquared() > 0.0f)) return at;
  Matrix44 m = Matrix44::AlignZY(d, up);
  m.SetTranslation(p);
  return m;
}

int Globe::BridgeLine(int tile, const Matrix44& siteFrame, BridgeLineVisit visit, void* context,
                      int* waterTiles) const {
  if (waterTiles) *waterTiles = 0;
  if (!IsValid(tile) || !m_trfs) return -1;
  const Buildings& buildings = m_wld->buildings;
  Matrix44 frame = siteFrame;
  int water = 0;
  for (int pass = 0; pass <= m_sz; ++pass) {
    const int ahead = NextInLine(tile, 0, 1, frame);
    if (!IsValid(ahead)) return -1;
    if (m_nodes[ahead].type == TP_BRDG && water == 0) {
      // The bridge's own finished pieces, each facing the tile beyond it.
      const int piece = buildings.Find(ahead, nullptr);
      if (piece >= 0) frame = buildings.m_trfs[piece];
      tile = ahead;
      continue;
    }
    // Land, or a piece of another bridge met over the water: the bridge ends there.
    if (!IsWater(m_nodes[ahead])) {
      if (waterTiles) *waterTiles = water;
      return ahead;
    }
    ++water;
    if (visit && visit(context, ahead)) return -1;
    const int beyond = NextInLine(ahead, 0, 1, frame);
    if (!IsValid(beyond)) return -1;
    // Each new piece is turned toward the next tile, as AddBridge turns it.
    frame = FacingFrame(m_trfs[ahead], TilePosition(beyond), false);
    tile = ahead;
  }
  return -1;
}

int Globe::BridgeStart(int tile) const {
  ASSERTM_OR_RETURN(IsValid(tile), -1, "invalid tile: %d", tile);
  if (!m_trfs) return -1;
  int best = -1;
  int bestSteps = 0;
  for (int k = 0; k < 6; ++k) {
    const int n = m_nodes[tile].neighbours[k];
    if (!IsValid(n) || !IsWater(m_nodes[n])) continue;
    // Walk the line a site facing n is built along. Water another bridge will be built over is
    // taken: this bridge would end against that one's piece and never reach its own landing.
    struct Check {
      const Globe* globe;
    } check = {this};
    auto crossed = [](void* c, int water) { return static_cast<Check*>(c)->globe->OnStakedBridgeLine(water); };
    int steps = 0;
    const int landing = BridgeLine(tile, FacingFrame(m_trfs[tile], TilePosition(n), false), crossed, &check, &steps);
    // No landing (crossed, off the planet or endless), no water to bridge, or a bridge piece,
    // which is no far shore: a bridge staked that way would run into the other bridge.
    if (landing < 0 || steps == 0 || m_nodes[landing].type == TP_BRDG) continue;
    // A bridge back onto the same landmass is worth much less than one to another.
    if (m_nodes[landing].continent == m_nodes[tile].continent) steps *= 4;
    if (best == -1 || steps < bestSteps) best = n, bestSteps = steps;
  }
  return best;
}

bool Globe::OnStakedBridgeLine(int water) const {
  if (!IsValid(water) || !m_trfs) return false;
  const Buildings& buildings = m_wld->buildings;
  struct Look {
    int water;
    bool found;
  } look = {water, false};
  auto visit = [](void* context, int t) {
    Look* l = static_cast<Look*>(context);
    l->found = t == l->water;
    return l->found;
  };
  for (int b = 0; b < buildings.m_cnt && !look.found; ++b) {
    if (!buildings.m_name[b].Equals("brconstruction") || !IsValid(buildings.m_loca[b])) continue;
    BridgeLine(buildings.m_loca[b], buildings.m_trfs[b], visit, &look, nullptr);
  }
  return look.found;
}

int Globe::StartBridge(int tile, int toward) {
  if (!IsValid(tile) || !IsValid(toward)) {
    LOGE("Cannot start a bridge at tile %d toward tile %d.", tile, toward);
    return -1;
  }
  Buildings& buildings = m_wld->buildings;
  const int b = buildings.Add("brconstruction", tile, c_bridgeSiteBits);
  if (b >= 0) buildings.FaceTowards(b, toward, false);
  return b;
}

int Globe::AddBridge(int fr, int mi, int to) {
  ASSERTM_OR_RETURN(IsValid(fr) && IsValid(mi), -1, "fr %d mi %d", fr, mi);
  const GridNode& nodemi = m_nodes[mi];
  const GridNode& nodefr = m_nodes[fr];
  ASSERTT(nodemi.type == TP_WATR, "nodemi.type==TP_WATR");
  ASSERTT(nodefr.type != TP_WATR, "nodefr.type!=TP_WATR");
  if (nodemi.type != TP_WATR || nodefr.type == TP_WATR) return -1;
  Buildings& buildings = m_wld->buildings;
  const int b = buildings.Add("bridge", mi, AT_BRIDGE);
  // Without a building the piece would be a bridge nobody can see or extend from: leave the water.
  if (b < 0) return -1;
  m_nodes[mi].height += 2;
  m_nodes[mi].type = TP_BRDG;
  if (IsValid(to)) buildings.FaceTowards(b, to, false);
  RaiseTile(mi, c_bridgeRaise * m_hexw);
  SetEdgeCost(fr, mi, 2);
  for (int k = 0; k < 6; ++k) {
    const int n = m_nodes[mi].neighbours[k];
    if (!IsValid(n)) continue;
    const uint8_t type = m_nodes[n].type;
    if (type == TP_WATR) {
      SetEdgeCost(n, mi, 4);
    } else if (type == 2 || type == 3 || type == 4) {
      SetEdgeCost(n, mi, 4);
      SetEdgeCost(mi, n, 4);
    }
  }
  if (IsValid(to) && !IsWater(m_nodes[to])) SetEdgeCost(mi, to, 2);
  LOGI("Added bridge at tile %d.", mi);
  ++m_wld->m_changes;
  return b;
}

int Globe::ExtendBridge(int tile) {
  if (!IsValid(tile)) {
    LOGE("Cannot extend a bridge at tile %d.", tile);
    return 0;
  }
  Buildings& buildings = m_wld->buildings;
  const int site = buildings.Find(tile, "brconstruction");
  if (site < 0) return 0;
  const int siteTile = tile;
  int current = site;
  Matrix44 frame = buildings.m_trfs[current];
  // Each pass steps one finished piece further; a bridge is never longer than the planet.
  for (int pass = 0; pass <= m_sz; ++pass) {
    const int ahead = NextInLine(tile, 0, 1, frame);
    if (!IsValid(ahead) || (!IsWater(m_nodes[ahead]) && m_nodes[ahead].type != TP_BRDG)) {
      LOGE("Bridge is already complete, why was it still a construction site?");
      AttribsClear(siteTile, c_bridgeSiteBits | AT_SUPPLIEDBRIDGEWORK);
      buildings.Remove(site);
      return 1;
    }
    if (m_nodes[ahead].type == TP_BRDG) {
      tile = ahead;
      current = buildings.Find(ahead, nullptr);
      // A piece without its building keeps the line of the one before.
      if (current >= 0) frame = buildings.m_trfs[current];
      continue;
    }
    const int beyond = NextInLine(ahead, 0, 1, frame);
    LOGI("Extending bridge at tile %d to connect %d and %d", ahead, tile, beyond);
    // A full building table stops the builder; the site stays for a later try.
    if (AddBridge(tile, ahead, beyond) < 0) return 1;
    if (IsValid(beyond) && IsWater(m_nodes[beyond])) return 0;
    AttribsClear(siteTile, c_bridgeSiteBits | AT_SUPPLIEDBRIDGEWORK);
    buildings.Remove(site);
    LOGI("Bridge has reached land end point.");
    m_wld->PostStat("s_bridges", 1, false);
    return 1;
  }
  LOGE("Bridge from tile %d never ends; giving the site up.", siteTile);
  AttribsClear(siteTile, c_bridgeSiteBits | AT_SUPPLIEDBRIDGEWORK);
  buildings.Remove(site);
  return 1;
}

int Globe::StartDeck(int tile, int levels) {
  if (levels < 1 || levels > 3) return 0;
  m_wld->buildings.Add(c_deckSites[levels - 1], tile, c_deckSiteBits);
  return 0;
}

int Globe::BuildDeck(int tile) {
  if (!IsValid(tile)) return 0;
  Buildings& buildings = m_wld->buildings;
  int b = -1, levels = 0;
  for (int i = 0; i < 3; ++i) {
    const int found = buildings.Find(tile, c_deckSites[i]);
    if (found >= 0) b = found, levels = i + 1;
  }
  if (b < 0) return 0;
  buildings.m_name[b].Set(c_decks[levels - 1]);
  m_nodes[tile].height = static_cast<int8_t>(m_nodes[tile].height + levels);
  RaiseTile(tile, static_cast<float>(levels) * c_deckRaise * m_hexw);
  AttribsClear(tile, c_deckSiteBits | AT_SUPPLIEDDECKWORK);
  ClaimOpen(tile);
  LOGI("tile %d no longer a deck construction site.", tile);
  ++m_wld->m_changes;
  return b;
}

int Globe::BuildFactory(int tile) {
  if (!IsValid(tile)) return -1;
  Buildings& buildings = m_wld->buildings;
  Items& items = m_wld->items;
  const int site = buildings.Find(tile, "faconstruction");
  if (site < 0) return -1;
  buildings.Remove(site);
  AttribsClear(tile, AT_WOODCONSTRUCTION | AT_DECKCONSTRUCTION | AT_FACTCONSTRUCTION | AT_SUPPLIEDFACTWORK);
  ClaimOpen(tile);
  LOGI("tile %d no longer a factory construction site.", tile);
  ++m_wld->m_changes;
  const int entrance = m_nodes[tile].neighbours[0];
  int built = -1;
  for (const FactoryKind& kind : c_factoryKinds) {
    const int item = items.FindAt(kind.site, tile, false);
    if (item < 0) continue;
    items.Remove(item);
    const int b = buildings.Add(kind.building, tile, kind.bit);
    if (b < 0) continue;
    built = b;
    if (kind.bit == AT_STORAGE)
      for (int k = 0; k < 6; ++k) {
        const int n = m_nodes[tile].neighbours[k];
        if (IsValid(n) && n != entrance) AttribsSet(n, AT_STORAGE);
      }
  }
  if (built < 0) {
    // Nothing was built, so there is no factory to count either.
    LOGE("Factory site on tile %d had nothing to build.", tile);
    return -1;
  }
  if (IsValid(entrance)) buildings.FaceTowards(built, entrance, false);
  const int blocked = CordonOff(tile, entrance);
  LOGI("Blocked %d edges after cordonning off factory.", blocked);
  m_wld->PostStat("s_factories", 1, true);
  return built;
}

void Globe::Pave(int nr) {
  Actors& actors = m_wld->actors;
  Buildings& buildings = m_wld->buildings;
  if (!actors.IsValid(nr)) {
    LOGE("Cannot pave for character %d.", nr);
    return;
  }
  actors.m_stat[nr] &= ~static_cast<uint64_t>(ST_PAVING);
  const int from = actors.m_loca[nr];
  const int n = actors.m_pasz[nr];
  const int32_t* p = actors.m_ploc[nr];
  if (!IsValid(from) || n < 1 || n > c_tilePathLimit) {
    LOGE("%s has no road to pave from tile %d (%d tiles).", actors.m_name[nr].c_str(), from, n);
    return;
  }
  for (int i = 0; i < n; ++i)
    if (!IsValid(p[i])) {
      LOGE("%s cannot pave a path through tile %d.", actors.m_name[nr].c_str(), p[i]);
      return;
    }
  const int last = p[n - 1];
  LOGI("Paving %d tiles from %d to %d", n, from, last);

  const int startPlaza = buildings.Add("plconstruction", from, c_roadSiteBits);
  const int endPlaza = buildings.Add("plconstruction", last, c_roadSiteBits);
  if (startPlaza >= 0 && p[0] != from) buildings.FaceTowards(startPlaza, p[0], false);
  const int before = n >= 2 ? p[n - 2] : from;
  if (endPlaza >= 0 && before != last) buildings.FaceTowards(endPlaza, before, false);

  int sites[c_tilePathLimit];
  for (int i = 0; i < n; ++i) {
    sites[i] = -1;
    const int t = p[i];
    const GridNode& node = m_nodes[t];
    if (node.type == TP_ROAD) {
      // Crossing a finished road makes a plaza of it.
      const int b = buildings.Find(t, nullptr);
      if (b >= 0) buildings.m_name[b].Set("plaza");
      continue;
    }
    if (node.type == TP_BRDG || (Attribs(t) & c_anySiteBits)) continue;
    // A road halves the cost of stepping off the tile; a passable edge stays passable.
    for (int k = 0; k < 6; ++k) {
      const int cost = EdgeCostLoad(node, k);
      if (cost >= 1) EdgeCostStore(m_nodes[t], k, cost / 2 < 1 ? 1 : cost / 2);
    }
    const int s = i < n - 1 ? buildings.Add("ssconstruction", t, c_roadSiteBits) : endPlaza;
    if (s < 0) continue;
    sites[i] = s;
    const int prev = i > 0 ? p[i - 1] : from;
    if (prev != t) buildings.FaceTowards(s, prev, true);
  }

  // Where the road turns, the street piece bends toward the next tile.
  for (int i = 0; i + 1 < n; ++i) {
    const int s = sites[i];
    if (s < 0) continue;
    const int t = p[i], u = p[i + 1];
    ASSERTT(t != u, "tile != next");
    if (t == u) continue;
    const Vec3 d = Normalize(Normalize(TilePosition(u)) - Normalize(TilePosition(t)));
    const float k = Dot(buildings.m_trfs[s].GetXAxis(), d);
    if (k > 0.5f) buildings.m_name[s].Set("srconstruction");
    if (k < -0.5f) buildings.m_name[s].Set("slconstruction");
  }
}

int Globe::BuildRoad(int tile) {
  ASSERTM_OR_RETURN(IsValid(tile), -1, "invalid tile: %d", tile);
  AttribsClear(tile, c_roadSiteBits | AT_SUPPLIEDROADWORK);
  m_nodes[tile].type = TP_ROAD;
  static const char* const sites[4][2] = {{"plconstruction", "plaza"},
                                          {"ssconstruction", "streetstraight"},
                                          {"srconstruction", "streetright"},
                                          {"slconstruction", "streetleft"}};
  Buildings& buildings = m_wld->buildings;
  const int b = buildings.Find(tile, nullptr);
  ASSERTT(b >= 0, "b>=0");
  // The road site is the one to finish, even where another building shares the tile.
  for (const auto& site : sites) {
    const int s = buildings.Find(tile, site[0]);
    if (s >= 0) {
      buildings.m_name[s].Set(site[1]);
      break;
    }
  }
  m_wld->PostStat("s_roads", 1, false);
  ++m_wld->m_changes;
  return tile;
}

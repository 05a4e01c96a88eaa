// Tile path search: costs, impassable edges, ties, goals, limits, and the fast search against a plain one.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "test_support.h"
#include "world/planet/tile_search.h"
#include "world/planet_fixture.h"
#include "world/wld.h"

namespace {

// The search as the game first wrote it: unordered arrays scanned linearly. Slow, but plainly
// right; the fast search must give the same answers, down to the set sizes.
namespace plain {

TileSearchNode openSet[c_tileSetLimit];
TileSearchNode closedSet[c_tileSetLimit];
int numOpen = 0;
int numClosed = 0;

void RemoveAt(TileSearchNode* set, int* count, int pos) {
  set[pos] = set[*count - 1];
  --*count;
}

int Find(const TileSearchNode* set, int count, int tile) {
  for (int i = 0; i < count; ++i)
    if (set[i].tile == tile) return i;
  return -1;
}

bool Reconstruct(const TileSearchNode* goal, int32_t* path, int* pathLength) {
  const int capacity = *pathLength;
  int next = capacity - 1;
  const TileSearchNode* node = goal;
  while (node && node->label) {
    if (next < 0) return false;
    path[next--] = node->tile;
    const int i = Find(closedSet, numClosed, node->parent);
    node = i >= 0 ? &closedSet[i] : nullptr;
  }
  const int count = capacity - 1 - next;
  memmove(path, path + next + 1, sizeof(path[0]) * count);
  *pathLength = count;
  return true;
}

int Search(const Wld* world, int start, int target, uint64_t attribMask, uint64_t itemMask, int32_t* path,
           int* pathLength) {
  const Globe& globe = world->globe;
  numOpen = 1;
  numClosed = 0;
  const int h0 = TilePathHeuristic(world, start, target);
  openSet[0] = TileSearchNode{start, 0, h0, h0, nullptr, start};
  while (numOpen > 0) {
    int best = 0;
    for (int i = 1; i < numOpen; ++i)
      if (openSet[i].f < openSet[best].f) best = i;
    const TileSearchNode node = openSet[best];
    RemoveAt(openSet, &numOpen, best);
    if (node.tile == target || (target == -1 && attribMask && (globe.Attribs(node.tile) & attribMask) == attribMask) ||
        (TileItemBits(world, node.tile) & itemMask))
      return Reconstruct(&node, path, pathLength) ? node.f : -1;
    closedSet[numClosed++] = node;
    if (numClosed >= c_tileSetLimit) return -1;
    for (int k = 0; k < 6; ++k) {
      const int nb = globe.m_nodes[node.tile].neighbours[k];
      const int cost = globe.m_nodes[node.tile].edgecosts[k];
      if (nb == -1 || cost < 1) continue;
      const int g = node.g + cost;
      int o = Find(openSet, numOpen, nb);
      const int c = Find(closedSet, numClosed, nb);
      if (o >= 0 && g < openSet[o].g) {
        RemoveAt(openSet, &numOpen, o);
        o = -1;
      }
      if (c >= 0) {
        if (g < closedSet[c].g)
          RemoveAt(closedSet, &numClosed, c);
        else
          continue;
      }
      if (o >= 0) continue;
      const int h = TilePathHeuristic(world, nb, target);
      openSet[numOpen++] = TileSearchNode{nb, g, h, g + h, "noaction", node.tile};
      if (numOpen >= c_tileSetLimit) return -1;
    }
  }
  return -1;
}

}  // namespace plain

// A world on the generated planet of that dump number with the given levels. The fixture writes
// the small planet's tile width; bigger planets get theirs from the mean neighbour distance.
Wld* MakeWorld(const DumpShape& shape, const std::vector<int>& levels) {
  WriteTopology(shape, levels);
  Wld* world = new Wld("Paths");
  EXPECT_EQ(world->LoadTopology("custom.top"), shape.numTiles);
  Globe& g = world->globe;
  double sum = 0;
  int n = 0;
  for (int t = 0; t < g.m_sz; ++t)
    for (int k = 0; k < 6; ++k)
      if (g.m_nodes[t].neighbours[k] >= 0) {
        sum += (g.m_nodes[g.m_nodes[t].neighbours[k]].centre - g.m_nodes[t].centre).Length();
        ++n;
      }
  g.m_hexw = static_cast<float>(sum / n);
  return world;
}

// Levels that give every kind of edge cost: land at 1..9 from a fixed hash of the tile number
// (neighbours more than 5 apart make steep edges), and two seas, one at the south pole and one
// round the +x axis.
std::vector<int> MixedLevels(const DumpShape& shape) {
  std::vector<int> levels(shape.numTiles);
  for (int t = 0; t < shape.numTiles; ++t) {
    const uint32_t x = static_cast<uint32_t>(t) * 2654435761u;
    const Vec3 c = Normalize(shape.centres[t]);
    levels[t] = c.z < -0.7f || c.x > 0.85f ? -1 : 1 + static_cast<int>((x >> 11) % 9);
  }
  return levels;
}

std::vector<int> Flat(int numTiles) { return std::vector<int>(numTiles, 1); }

int SlotTo(const Globe& g, int from, int to) {
  for (int k = 0; k < 6; ++k)
    if (g.m_nodes[from].neighbours[k] == to) return k;
  return -1;
}

// The first hexagon whose whole ring is land, searching from the tile given.
int InlandHexagon(const Globe& g, int from) {
  for (int t = from; t < g.m_sz; ++t) {
    if (g.m_nodes[t].type == TP_WATR || g.m_nodes[t].numneighbours != 6) continue;
    bool ok = true;
    for (int k = 0; k < 6; ++k) ok = ok && g.m_nodes[g.m_nodes[t].neighbours[k]].type != TP_WATR;
    if (ok) return t;
  }
  return -1;
}

struct Found {
  int cost;
  int length;
  std::vector<int32_t> path;
};

Found Search(const Wld* world, int start, int target, uint64_t attribs = 0, uint64_t items = 0, int capacity = 256) {
  Found r;
  r.path.assign(capacity > 0 ? capacity : 1, -7);
  r.length = capacity;
  r.cost = TilePathSearch(world, start, target, attribs, items, r.path.data(), &r.length);
  if (r.cost >= 0) r.path.resize(r.length);
  return r;
}

int SumCosts(const Globe& g, int start, const std::vector<int32_t>& path) {
  int sum = 0, at = start;
  for (int32_t t : path) {
    const int k = SlotTo(g, at, t);
    EXPECT_GE(k, 0) << "path steps from " << at << " to non-neighbour " << t;
    if (k < 0) return -1;
    sum += g.m_nodes[at].edgecosts[k];
    at = t;
  }
  return sum;
}

class TileSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    UseTestFolders();
    TileSearchReset();
  }
};

TEST_F(TileSearch, EdgeCostsSteepEdgesAndWater) {
  const DumpShape shape = ReadDumpShape(2);
  std::vector<int> levels = HalfLand(shape);
  Wld* world = MakeWorld(shape, levels);
  Globe& g = world->globe;
  const int a = InlandHexagon(g, 12);
  ASSERT_GE(a, 0);
  const int b = g.m_nodes[a].neighbours[0];

  // One step on level ground costs the level step cost, 2.
  Found r = Search(world, a, b);
  EXPECT_EQ(r.cost, 2);
  ASSERT_EQ(r.length, 1);
  EXPECT_EQ(r.path[0], b);

  // Every way into b made steep: it is still reached, over one 1000 edge.
  for (int k = 0; k < 6; ++k) g.SetEdgeCost(b, g.m_nodes[b].neighbours[k], c_edgeSteep);
  r = Search(world, a, b);
  EXPECT_EQ(r.cost, 1000);
  EXPECT_EQ(SumCosts(g, a, r.path), 1000);
  EXPECT_EQ(r.path.back(), b);

  // A water tile is never entered, and a land tile cut off by water is never reached.
  int water = -1;
  for (int t = 0; t < g.m_sz && water < 0; ++t)
    if (g.m_nodes[t].type == TP_WATR) water = t;
  ASSERT_GE(water, 0);
  {
    CapturedLog log;
    EXPECT_EQ(Search(world, a, water).cost, -1);
    EXPECT_TRUE(log.Has("Did not find a path (att0,itm0) numclosed="));
  }
  delete world;

  // Make the same water tile an island of land: edges out of it exist, none lead in.
  levels[water] = 1;
  for (int k = 0; k < 6; ++k)
    if (shape.neighbours[water * 6 + k] >= 0) levels[shape.neighbours[water * 6 + k]] = -1;
  world = MakeWorld(shape, levels);
  const int start = InlandHexagon(world->globe, 12);
  ASSERT_GE(start, 0);
  EXPECT_EQ(Search(world, start, water).cost, -1);
  // Every path that is found steps only over edges of cost 1 or more.
  for (int t = 0; t < world->globe.m_sz; ++t) {
    const Found f = Search(world, start, t);
    if (f.cost < 0) continue;
    EXPECT_EQ(f.cost, SumCosts(world->globe, start, f.path));
    for (int32_t p : f.path) EXPECT_NE(world->globe.m_nodes[p].type, TP_WATR);
  }
  delete world;
}

TEST_F(TileSearch, StartAtTheGoalAndBadInput) {
  const DumpShape shape = ReadDumpShape(2);
  Wld* world = MakeWorld(shape, HalfLand(shape));
  Globe& g = world->globe;
  const int a = InlandHexagon(g, 12);
  ASSERT_GE(a, 0);
  Found r = Search(world, a, a);
  EXPECT_EQ(r.cost, 0);
  EXPECT_EQ(r.length, 0);
  // Target -1: f counts the heuristic's 1.
  g.AttribsSet(a, AT_SMITHY);
  r = Search(world, a, -1, AT_SMITHY);
  EXPECT_EQ(r.cost, 1);
  EXPECT_EQ(r.length, 0);
  g.m_inventories[a] = 1ull << 5;
  r = Search(world, a, -1, 0, 1ull << 5);
  EXPECT_EQ(r.cost, 1);
  EXPECT_EQ(r.length, 0);
  // Even a zero-capacity buffer holds the empty path.
  r = Search(world, a, a, 0, 0, 0);
  EXPECT_EQ(r.cost, 0);

  // Off-planet tiles and missing buffers are refused with a line, never searched.
  CapturedLog log;
  int32_t buf[4];
  int len = 4;
  EXPECT_EQ(TilePathSearch(world, -1, a, 0, 0, buf, &len), -1);
  EXPECT_EQ(TilePathSearch(world, a, g.m_sz, 0, 0, buf, &len), -1);
  EXPECT_EQ(TilePathSearch(world, g.m_sz + 5, -1, AT_SMITHY, 0, buf, &len), -1);
  EXPECT_EQ(TilePathSearch(world, a, a, 0, 0, nullptr, &len), -1);
  EXPECT_EQ(TilePathSearch(world, a, a, 0, 0, buf, nullptr), -1);
  len = -3;
  EXPECT_EQ(TilePathSearch(world, a, a, 0, 0, buf, &len), -1);
  EXPECT_EQ(len, -3);
  EXPECT_TRUE(log.Has("off the planet"));
  delete world;
}

TEST_F(TileSearch, TiesGoToTheLowestOpenPosition) {
  const DumpShape shape = ReadDumpShape(2);
  Wld* world = MakeWorld(shape, Flat(shape.numTiles));
  Globe& g = world->globe;
  const int s = InlandHexagon(g, 12);
  ASSERT_GE(s, 0);
  const int32_t* ring = g.m_nodes[s].neighbours;
  // The start's six neighbours enter the open set at positions 0..5, all with f = 2 + 1. Slot 0's
  // tile is expanded first; swap-removal moves slot 5's tile to position 0, so among the equal
  // rest it comes before slot 1's. Marking slots 1 and 5 tells the two orders apart.
  g.AttribsSet(ring[1], AT_SMITHY);
  g.AttribsSet(ring[5], AT_SMITHY);
  Found r = Search(world, s, -1, AT_SMITHY);
  EXPECT_EQ(r.cost, 3);
  ASSERT_EQ(r.length, 1);
  EXPECT_EQ(r.path[0], ring[5]);
  // With slot 5 unmarked, slots 4 and 1 compete: 4 sits at position 4, 1 at position 1.
  g.AttribsClear(ring[5], AT_SMITHY);
  g.AttribsSet(ring[4], AT_SMITHY);
  r = Search(world, s, -1, AT_SMITHY);
  ASSERT_EQ(r.length, 1);
  EXPECT_EQ(r.path[0], ring[1]);
  delete world;
}

TEST_F(TileSearch, AttributeAndItemGoals) {
  const DumpShape shape = ReadDumpShape(3);
  Wld* world = MakeWorld(shape, Flat(shape.numTiles));
  Globe& g = world->globe;
  const int s = InlandHexagon(g, 12);
  // A tile with only one of two wanted bits does not count; the nearest with both does.
  const Found far = Search(world, s, 200);
  ASSERT_GT(far.length, 3);
  const int half = far.path[far.length / 2 - 1];
  const int end = far.path[far.length - 1];
  g.AttribsSet(half, AT_WOODY);
  g.AttribsSet(end, AT_WOODY | AT_UNCLAIMED);
  Found r = Search(world, s, -1, AT_WOODY | AT_UNCLAIMED);
  ASSERT_GE(r.cost, 0);
  EXPECT_EQ(r.path.back(), end);
  EXPECT_EQ(r.cost, SumCosts(g, s, r.path) + 1);
  r = Search(world, s, -1, AT_WOODY);
  EXPECT_EQ(r.path.back(), half);

  // Items: any shared bit ends the search, even on the way to a target tile.
  g.m_inventories[half] = (1ull << 3) | (1ull << 40);
  r = Search(world, s, -1, 0, 1ull << 40);
  EXPECT_EQ(r.path.back(), half);
  r = Search(world, s, end, 0, 1ull << 3);
  EXPECT_EQ(r.path.back(), half);
  r = Search(world, s, -1, 0, 1ull << 4);
  EXPECT_EQ(r.cost, -1);
  // With nothing to look for the search can only exhaust the planet.
  {
    CapturedLog log;
    EXPECT_EQ(Search(world, s, -1, 0, 0).cost, -1);
    char line[96];
    snprintf(line, sizeof(line), "Did not find a path (att0,itm0) numclosed=%d.", shape.numTiles);
    EXPECT_TRUE(log.Has(line));
  }
  delete world;
}

// A walk of `count` tiles over the planet that never visits a tile twice, the same on every run:
// each step goes to the free neighbour with the fewest free neighbours, so it does not box itself in.
std::vector<int> Corridor(const Globe& g, int count) {
  std::vector<int> walk(1, 12);
  std::vector<char> used(g.m_sz, 0);
  used[12] = 1;
  auto freeAround = [&](int t) {
    int n = 0;
    for (int k = 0; k < 6; ++k) n += g.m_nodes[t].neighbours[k] >= 0 && !used[g.m_nodes[t].neighbours[k]];
    return n;
  };
  while (static_cast<int>(walk.size()) < count) {
    int best = -1, bestFree = 99;
    for (int k = 0; k < 6; ++k) {
      const int nb = g.m_nodes[walk.back()].neighbours[k];
      if (nb < 0 || used[nb]) continue;
      const int f = freeAround(nb);
      if (f < bestFree) best = nb, bestFree = f;
    }
    if (best < 0) break;
    used[best] = 1;
    walk.push_back(best);
  }
  return walk;
}

TEST_F(TileSearch, PathsLongerThanTheBufferAreRefused) {
  const DumpShape shape = ReadDumpShape(5);
  Wld* world = MakeWorld(shape, Flat(shape.numTiles));
  Globe& g = world->globe;
  const std::vector<int> walk = Corridor(g, 258);
  ASSERT_EQ(walk.size(), 258u);
  // Only the corridor's own edges stay open.
  for (int t = 0; t < g.m_sz; ++t)
    for (int k = 0; k < 6; ++k) g.m_nodes[t].edgecosts[k] = -1;
  for (size_t i = 0; i + 1 < walk.size(); ++i) g.SetEdgeCost(walk[i], walk[i + 1], 2);

  // 256 tiles fit the buffer exactly.
  Found r = Search(world, walk[0], walk[256]);
  EXPECT_EQ(r.cost, 512);
  ASSERT_EQ(r.length, 256);
  EXPECT_EQ(r.path[0], walk[1]);
  EXPECT_EQ(r.path[255], walk[256]);
  // 257 do not: refused, and the length is left alone.
  CapturedLog log;
  r = Search(world, walk[0], walk[257]);
  EXPECT_EQ(r.cost, -1);
  EXPECT_EQ(r.length, 256);
  EXPECT_TRUE(log.Has("Path exceeded max lenght of 256"));
  delete world;
}

TEST_F(TileSearch, NodeLimitEndsAFutileSearch) {
  const DumpShape shape = ReadDumpShape(7);
  ASSERT_EQ(shape.numTiles, 21872);
  Wld* world = MakeWorld(shape, Flat(shape.numTiles));
  CapturedLog log;
  EXPECT_EQ(Search(world, 100, -1, AT_SMITHY).cost, -1);
  int open = 0, closed = 0;
  TileSearchCounts(&open, &closed);
  EXPECT_EQ(closed, c_tileSetLimit);
  char line[96];
  snprintf(line, sizeof(line), "Closed set overflow. numOpen: %d, numClosed:%d", open, closed);
  EXPECT_TRUE(log.Has(line));
  // The plain search stops at the same point.
  int32_t path[256];
  int len = 256;
  EXPECT_EQ(plain::Search(world, 100, -1, AT_SMITHY, 0, path, &len), -1);
  EXPECT_EQ(plain::numOpen, open);
  EXPECT_EQ(plain::numClosed, closed);
  delete world;
}

// Golden paths on the 21872-tile planet with mixed levels, worked out once with the plain search
// above: cost, length and the tiles at the ends and the middle. The game depends on characters
// taking these same walks (the order of the sets decides among equal paths).
TEST_F(TileSearch, PinnedPathsOnTheLargestPlanet) {
  const DumpShape shape = ReadDumpShape(7);
  Wld* world = MakeWorld(shape, MixedLevels(shape));
  struct Pin {
    int start, target, cost, length, first, middle, last;
  };
  const Pin pins[] = {
      {5000, 5400, 364, 92, 14998, 5281, 5400},
      {12000, 12345, 282, 59, 4000, 8223, 12345},
      {30, 21000, -1, 0, -1, -1, -1},  // tile 30 has water all round
      {2000, 2100, 448, 96, 17993, 14254, 2100},
      {15000, 15050, -1, 0, -1, -1, -1},  // 15050 lies beyond the 8192-node limit
  };
  for (const Pin& p : pins) {
    const Found r = Search(world, p.start, p.target);
    EXPECT_EQ(r.cost, p.cost) << p.start << "->" << p.target;
    if (r.cost < 0) continue;
    EXPECT_EQ(r.length, p.length);
    if (r.length == 0) continue;
    EXPECT_EQ(r.path[0], p.first);
    EXPECT_EQ(r.path[r.length / 2], p.middle);
    EXPECT_EQ(r.path[r.length - 1], p.last);
  }
  delete world;
}

// The fast search against the plain one on many start and goal pairs: the same results, paths and
// set sizes, for tile targets, attribute goals and item goals.
void CrossCheck(Wld* world, int pairs, uint32_t seed) {
  Globe& g = world->globe;
  for (int t = 0; t < g.m_sz; ++t) {
    seed = seed * 1103515245u + 12345u;
    if ((seed >> 16) % 97 == 0) g.AttribsSet(t, AT_GROVE);
    if ((seed >> 16) % 89 == 1) g.m_inventories[t] = 1ull << 7;
  }
  int found = 0;
  for (int i = 0; i < pairs; ++i) {
    seed = seed * 1103515245u + 12345u;
    const int start = static_cast<int>((seed >> 8) % g.m_sz);
    seed = seed * 1103515245u + 12345u;
    int target = static_cast<int>((seed >> 8) % g.m_sz);
    uint64_t attribs = 0, items = 0;
    if (i % 5 == 3) target = -1, attribs = AT_GROVE;
    if (i % 5 == 4) target = -1, items = 1ull << 7;
    const Found r = Search(world, start, target, attribs, items);
    int open = 0, closed = 0;
    TileSearchCounts(&open, &closed);
    int32_t path[256];
    int len = 256;
    const int cost = plain::Search(world, start, target, attribs, items, path, &len);
    ASSERT_EQ(r.cost, cost) << "pair " << i << ": " << start << "->" << target;
    EXPECT_EQ(open, plain::numOpen) << "pair " << i;
    EXPECT_EQ(closed, plain::numClosed) << "pair " << i;
    if (cost < 0) continue;
    ++found;
    ASSERT_EQ(r.length, len);
    for (int k = 0; k < len; ++k) ASSERT_EQ(r.path[k], path[k]) << "pair " << i << " step " << k;
  }
  EXPECT_GT(found, pairs / 4);
}

TEST_F(TileSearch, FastSearchMatchesThePlainOne) {
  {
    const DumpShape shape = ReadDumpShape(5);
    Wld* world = MakeWorld(shape, MixedLevels(shape));
    CrossCheck(world, 400, 99);
    delete world;
  }
  {
    const DumpShape shape = ReadDumpShape(7);
    Wld* world = MakeWorld(shape, MixedLevels(shape));
    CrossCheck(world, 40, 7);
    delete world;
  }
}

}  // namespace

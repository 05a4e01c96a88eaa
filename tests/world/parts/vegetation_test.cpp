// Trees, rocks and minerals: generation invariants, felling, planting, growth, groves, fruit, quarrying, deposits.
#include <gtest/gtest.h>

#include <cmath>

#include "test_support.h"
#include "world/parts_fixture.h"

namespace {

bool Has(const Wld& w, int tile, uint64_t bits) { return (w.globe.Attribs(tile) & bits) == bits; }

bool SameMatrix(const Matrix44& a, const Matrix44& b) {
  for (int i = 0; i < 16; ++i)
    if (std::fabs(a.m[i] - b.m[i]) > 1e-5f) return false;
  return true;
}

// A hexagon whose neighbours are all hexagons too, so no pentagon interferes.
int InnerHexagon(const Globe& g) {
  for (int t = 12; t < g.m_sz; ++t) {
    bool ok = true;
    for (int k = 0; k < 6; ++k) ok = ok && g.m_nodes[t].neighbours[k] >= 12;
    if (ok) return t;
  }
  return -1;
}

}  // namespace

TEST(PileOffsets, TableStartsWithTheHaltonPointsAndStaysOnTheTile) {
  // The first rows are Halton points 1..7 and 10..14: indices 8 and 9 fall off the tile.
  const float third = 1.0f / 3, ninth = 1.0f / 9, t27 = 1.0f / 27;
  const PileOffset expect[12] = {{0, -third},        {-0.5f, third},       {0.5f, -7 * ninth}, {-0.75f, -ninth},
                                 {0.25f, 5 * ninth}, {-0.25f, -5 * ninth}, {0.75f, ninth},     {-0.375f, -7 * t27},
                                 {0.625f, 11 * t27}, {-0.625f, -19 * t27}, {0.375f, -t27},     {-0.125f, 17 * t27}};
  for (int i = 0; i < 12; ++i) {
    EXPECT_FLOAT_EQ(pileOffsets[i].x, expect[i].x) << i;
    EXPECT_FLOAT_EQ(pileOffsets[i].y, expect[i].y) << i;
  }
  for (int i = 0; i < NUMPILEOFFSETS; ++i) {
    EXPECT_LE(std::fabs(pileOffsets[i].x), 1.0f);
    EXPECT_LT(std::fabs(pileOffsets[i].y), std::sqrt(3.0f) / 2);
  }
  EXPECT_FLOAT_EQ(PileOffsetAt(1023).x, pileOffsets[1023].x);
  // An index the table does not hold is reported and wraps, never read past the end.
  ExpectAsserts asserts;
  EXPECT_FLOAT_EQ(PileOffsetAt(NUMPILEOFFSETS).y, pileOffsets[0].y);
  EXPECT_FLOAT_EQ(PileOffsetAt(NUMPILEOFFSETS + 5).x, pileOffsets[5].x);
  EXPECT_FLOAT_EQ(PileOffsetAt(-1).x, pileOffsets[1023].x);
  EXPECT_EQ(asserts.Count(), 3);
}

TEST(Vegetation, GeneratedWorldKeepsItsInvariants) {
  std::unique_ptr<Wld> world = GeneratedWorld(3, 5);  // "medium": 2432 tiles
  ASSERT_TRUE(world);
  const Globe& g = world->globe;
  const Trees& trees = world->trees;
  const Rocks& rocks = world->rocks;
  const Minerals& minerals = world->minerals;
  ASSERT_EQ(g.m_sz, 2432);
  int sums[NUMTREEKINDS] = {}, rockSums[NUMROCKKINDS] = {}, deposits = 0, landTiles = 0;
  for (int t = 0; t < g.m_sz; ++t) {
    const bool land = g.m_nodes[t].type == 2 || g.m_nodes[t].type == 3;
    landTiles += land;
    for (int k = 0; k < NUMTREEKINDS; ++k) {
      ASSERT_GE(trees.m_density[k][t], 0);
      sums[k] += trees.m_density[k][t];
      if (!land) {
        EXPECT_EQ(trees.m_density[k][t], 0) << "tree on water tile " << t;
      }
    }
    const int standing = trees.IsBlocked(t, -1);
    const int pieces = rocks.IsBlocked(t, -1);
    EXPECT_LE(pieces, 24 - standing) << t;
    if (!land) {
      EXPECT_EQ(pieces, 0) << t;
    }
    for (int s = 0; s < ROCKSLOTS; ++s) {
      const int k = rocks.m_formations[t][s];
      // Pieces fill the slots from 0 upward, each kind from its tile and slot.
      EXPECT_EQ(k >= 0, s < pieces) << t << " " << s;
      if (k >= 0) {
        EXPECT_EQ(k, static_cast<int>((117u * t + 117u * s) % 10));
        rockSums[k] += 1;
      }
    }
    EXPECT_EQ(Has(*world, t, AT_WOODY), standing >= 1) << t;
    EXPECT_EQ(Has(*world, t, AT_ROCKY), pieces >= 1) << t;
    if (standing + pieces > 0) {
      EXPECT_TRUE(Has(*world, t, AT_UNCLAIMED)) << t;
    }
    EXPECT_EQ(Has(*world, t, AT_GROVE), trees.m_grove[t] == 1) << t;
    EXPECT_EQ(Has(*world, t, AT_IRONDEPOSIT), minerals.m_deposits[MK_IRON][t] == 1) << t;
    if (!land) {
      EXPECT_EQ(minerals.m_deposits[MK_IRON][t], 0);
    }
    deposits += minerals.m_deposits[MK_IRON][t];
  }
  for (int k = 0; k < NUMTREEKINDS; ++k) EXPECT_EQ(sums[k], trees.m_count[k]) << k;
  EXPECT_EQ(trees.m_count[TK_STMP], 0);
  EXPECT_EQ(trees.m_count[TK_SEED], 0);
  for (int k = 0; k < NUMROCKKINDS; ++k) EXPECT_EQ(rockSums[k], rocks.m_counts[k]) << k;
  // The planet must actually grow something, or the checks above prove little.
  EXPECT_GT(landTiles, 0);
  EXPECT_GT(trees.m_count[TK_PINE] + trees.m_count[TK_MAPL] + trees.m_count[TK_APPL], 0);
  EXPECT_GT(rocks.m_counts[0] + rocks.m_counts[3] + rocks.m_counts[7], 0);
  EXPECT_EQ(deposits, minerals.m_counts[MK_IRON]);
  EXPECT_EQ(minerals.m_counts[1], 0);
  EXPECT_EQ(minerals.m_trfs[1], nullptr);
  // Deposit transforms: the tile's transform scaled by half the tile width, in tile order.
  const float h = 0.5f * g.m_hexw;
  int i = 0;
  for (int t = 0; t < g.m_sz; ++t) {
    if (!minerals.m_deposits[MK_IRON][t]) continue;
    EXPECT_TRUE(SameMatrix(minerals.m_trfs[MK_IRON][i], g.m_trfs[t] * Matrix44::Scale(Vec3{h, h, h}))) << t;
    ++i;
  }
  // The same seed gives the same deposits; another seed moves them.
  std::vector<int> before(minerals.m_deposits[MK_IRON], minerals.m_deposits[MK_IRON] + g.m_sz);
  ASSERT_TRUE(world->minerals.Generate(MK_IRON, 5));
  EXPECT_EQ(std::vector<int>(minerals.m_deposits[MK_IRON], minerals.m_deposits[MK_IRON] + g.m_sz), before);
  ASSERT_TRUE(world->minerals.Generate(MK_IRON, 6));
  EXPECT_NE(std::vector<int>(minerals.m_deposits[MK_IRON], minerals.m_deposits[MK_IRON] + g.m_sz), before);
  EXPECT_FALSE(world->minerals.Generate(2, 5));
  EXPECT_FALSE(world->minerals.Generate(-1, 5));
  // Every rock transform sits behind the tile's standing trees in the pile.
  int k7 = 0;
  for (int t = 0; t < g.m_sz; ++t)
    for (int s = 0; s < ROCKSLOTS; ++s)
      if (rocks.m_formations[t][s] == 7) {
        const PileOffset p = PileOffsetAt(trees.IsBlocked(t, -1) + s);
        const float w = g.m_hexw;
        const Matrix44 m = g.m_trfs[t] * Matrix44::Translation(Vec3{p.x * 0.5f * w, p.y * 0.5f * w, 0}) *
                           Matrix44::Scale(Vec3{0.75f * w, 0.75f * w, 0.75f * w});
        ASSERT_TRUE(SameMatrix(rocks.m_trfs[7][k7], m)) << t << " " << s;
        ++k7;
      }
  EXPECT_EQ(k7, rocks.m_counts[7]);
}

TEST(Vegetation, FellPlantAndGroves) {
  std::unique_ptr<Wld> world = BareWorld();
  ASSERT_TRUE(world);
  Trees& trees = world->trees;
  Globe& g = world->globe;
  // A pentagon with no trees or stump is a grove only next to a tile of 4 or more standing trees.
  const int pent = 0;
  ASSERT_EQ(g.m_nodes[pent].numneighbours, 5);
  EXPECT_FALSE(Has(*world, pent, AT_GROVE));
  const int nb = g.m_nodes[pent].neighbours[4];
  trees.m_density[TK_PINE][nb] = 3;
  trees.m_count[TK_PINE] = 3;
  trees.UpdateGroves();
  EXPECT_FALSE(Has(*world, pent, AT_GROVE));
  EXPECT_TRUE(Has(*world, nb, AT_GROVE));  // 1..3 standing trees
  EXPECT_EQ(trees.Plant(nb), nb);          // the fourth
  EXPECT_TRUE(Has(*world, pent, AT_GROVE));
  EXPECT_FALSE(Has(*world, nb, AT_GROVE));  // 4 standing: too dense
  EXPECT_EQ(trees.m_grove[pent], 1);
  // Urban tiles are never groves.
  g.AttribsSet(pent, AT_URBAN);
  trees.UpdateGroves();
  EXPECT_FALSE(Has(*world, pent, AT_GROVE));
  g.AttribsClear(pent, AT_URBAN);

  // Felling: a pine where only stumps stand is refused.
  const int t = InnerHexagon(g);
  ASSERT_GE(t, 0);
  trees.m_density[TK_STMP][t] = 2;
  trees.m_count[TK_STMP] += 2;
  EXPECT_EQ(trees.Fell(t, TK_PINE), -1);
  EXPECT_EQ(trees.m_count[TK_STMP], 2);
  trees.UpdateGroves();
  EXPECT_TRUE(Has(*world, t, AT_GROVE));  // stumps alone make a grove
  // The last tree of a blocked site frees it once; a site keeps no stump.
  trees.m_density[TK_MAPL][t] = 2;
  trees.m_count[TK_MAPL] += 2;
  g.AttribsSet(t, AT_WOODY | AT_WOODYBLOCK | AT_ROADCONSTRUCTION);
  g.AttribsClear(t, AT_UNCLAIMED);
  {
    CapturedLog log;
    EXPECT_EQ(trees.Fell(t, TK_MAPL), 1);
    EXPECT_TRUE(Has(*world, t, AT_WOODY | AT_WOODYBLOCK));
    EXPECT_FALSE(log.Has("no longer blocked"));
    EXPECT_EQ(trees.Fell(t, TK_MAPL), 0);
    EXPECT_FALSE(Has(*world, t, AT_WOODY));
    EXPECT_FALSE(Has(*world, t, AT_WOODYBLOCK));
    EXPECT_TRUE(Has(*world, t, AT_UNCLAIMED));
    const int line = log.Find(("Tile " + std::to_string(t) + " no longer blocked by trees.").c_str());
    EXPECT_GE(line, 0);
    EXPECT_EQ(log.Find("no longer blocked", line + 1), -1);
  }
  EXPECT_EQ(trees.m_density[TK_STMP][t], 2);  // construction site: no new stumps
  EXPECT_EQ(trees.m_count[TK_MAPL], 0);
  // Off a site every felled tree leaves a stump.
  g.AttribsClear(t, AT_ROADCONSTRUCTION);
  trees.m_density[TK_APPL][t] = 1;
  trees.m_count[TK_APPL] = 1;
  EXPECT_EQ(trees.Fell(t, TK_APPL), 0);
  EXPECT_EQ(trees.m_density[TK_STMP][t], 3);
  EXPECT_EQ(trees.m_count[TK_STMP], 3);
  // Bad kinds and tiles are refused with a line, not a crash.
  EXPECT_EQ(trees.Fell(t, 5), -1);
  EXPECT_EQ(trees.Fell(-1, TK_PINE), -1);
  EXPECT_EQ(trees.Fell(g.m_sz, TK_PINE), -1);
  EXPECT_EQ(trees.Plant(g.m_sz), -1);

  // Planting: up to 13 standing trees; each seedling takes a stump away.
  const int u = g.m_nodes[t].neighbours[0];
  trees.m_density[TK_PINE][u] = 12;
  trees.m_count[TK_PINE] += 12;
  trees.m_density[TK_STMP][u] = 1;
  trees.m_count[TK_STMP] += 1;
  const int stumps = trees.m_count[TK_STMP];
  EXPECT_EQ(trees.Plant(u), u);
  EXPECT_EQ(trees.IsBlocked(u, -1), 13);
  EXPECT_EQ(trees.m_density[TK_STMP][u], 0);
  EXPECT_EQ(trees.m_count[TK_STMP], stumps - 1);
  EXPECT_EQ(trees.Plant(u), -1);
  EXPECT_EQ(trees.m_density[TK_SEED][u], 1);
  EXPECT_FALSE(Has(*world, u, AT_WOODY));  // planting alone does not make the tile woody
  // Water takes no seedling.
  g.m_nodes[u].type = TP_WATR;
  EXPECT_EQ(trees.Plant(u), -1);
  g.m_nodes[u].type = TP_LAND;
  EXPECT_EQ(trees.IsBlocked(u, TK_STMP), 0);
  EXPECT_EQ(trees.CountAt(u), 13);
}

TEST(Vegetation, SeedlingsGrowOneAtATime) {
  std::unique_ptr<Wld> world = BareWorld();
  ASSERT_TRUE(world);
  Trees& trees = world->trees;
  const int t = InnerHexagon(world->globe);
  const int u = world->globe.m_nodes[t].neighbours[2];
  for (int i = 0; i < 3; ++i) ASSERT_EQ(trees.Plant(t), t);
  // Tie between pines and maples gives a pine; fewer pines than maples gives a maple.
  trees.m_density[TK_PINE][t] = 2, trees.m_density[TK_MAPL][t] = 2;
  trees.m_density[TK_PINE][u] = 1, trees.m_density[TK_MAPL][u] = 2;
  trees.m_count[TK_PINE] = 3, trees.m_count[TK_MAPL] = 4;
  ASSERT_EQ(trees.Plant(u), u);
  world->globe.AttribsClear(t, AT_WOODY | AT_UNCLAIMED);
  const float dt = 1.0f / 8;
  auto run = [&](float seconds) {
    for (int i = 0; i < static_cast<int>(seconds / dt); ++i) trees.Update(dt);
  };
  run(30.0f);
  EXPECT_EQ(trees.m_density[TK_SEED][t], 3);  // not yet: the clock must pass 30 s
  run(0.25f);
  EXPECT_EQ(trees.m_density[TK_SEED][t], 2);
  EXPECT_EQ(trees.m_density[TK_PINE][t], 3);
  EXPECT_EQ(trees.m_density[TK_MAPL][u], 3);
  EXPECT_EQ(trees.m_density[TK_SEED][u], 0);
  EXPECT_TRUE(Has(*world, t, AT_WOODY | AT_UNCLAIMED));
  run(15.0f);
  // Planting a fourth restarts the clock of every seedling on the tile.
  ASSERT_EQ(trees.Plant(t), t);
  run(29.0f);
  EXPECT_EQ(trees.m_density[TK_SEED][t], 3);
  run(1.25f);
  EXPECT_EQ(trees.m_density[TK_SEED][t], 2);
  run(30.25f);
  EXPECT_EQ(trees.m_density[TK_SEED][t], 1);
  EXPECT_EQ(trees.m_count[TK_SEED], 1);
  int sum = 0;
  for (int k = 0; k < NUMTREEKINDS; ++k)
    for (int i = 0; i < trees.m_sz; ++i) sum += trees.m_density[k][i];
  EXPECT_EQ(sum, trees.m_count[0] + trees.m_count[1] + trees.m_count[2] + trees.m_count[3] + trees.m_count[4]);
}

TEST(Vegetation, FruitDrawsFollowThePlanetSize) {
  // 92 and 812 tiles: no draws at all, even with an apple tree on every tile.
  for (int dump : {2, 4}) {
    std::unique_ptr<Wld> world = BareWorld(dump);
    ASSERT_TRUE(world);
    for (int t = 0; t < world->trees.m_sz; ++t) world->trees.m_density[TK_APPL][t] = 1;
    FruitRngReset();
    for (int i = 0; i < 240 * 5; ++i) world->trees.Update(1.0f / 240);
    EXPECT_EQ(world->items.Count("fruit"), 0);
    EXPECT_EQ(fruitRng.s0, 0x0123456789abcdefull);
  }
  // 2432 tiles: two tiles tried every half second.
  std::unique_ptr<Wld> world = BareWorld(5);
  ASSERT_TRUE(world);
  Trees& trees = world->trees;
  Items& items = world->items;
  const int sz = trees.m_sz;
  ASSERT_EQ(sz, 2432);
  for (int t = 0; t < sz; ++t) trees.m_density[TK_APPL][t] = 1;
  FruitRngReset();
  int drawn[4];
  for (int& d : drawn) d = static_cast<int>(FruitRngNext() % sz);
  // Golden: the generator's first values pick these tiles (computed once with the published rule).
  EXPECT_EQ(drawn[0], static_cast<int>((0x0123456789abcdefull + 0x5555555555555555ull) % 2432));
  FruitRngReset();
  // The first step runs a pass at once (the timer starts at 0), then one every 0.5 s.
  trees.Update(1.0f / 240);
  EXPECT_EQ(items.Count("fruit"), drawn[0] == drawn[1] ? 1 : 2);
  EXPECT_EQ(items.CountAt("fruit", drawn[0], false), 1);
  // Three fruit lying on the next tile drawn stop it from getting a fourth; carried ones do not count.
  for (int i = 0; i < 2; ++i) items.Add("fruit", drawn[2], 0);
  const int carried = items.Add("fruit", drawn[2], 0);
  items.m_carr[carried] = 0;
  int lying = items.CountAt("fruit", drawn[2], false);
  ASSERT_EQ(lying, drawn[2] == drawn[0] || drawn[2] == drawn[1] ? 3 : 2);
  for (int i = 0; i < 119; ++i) trees.Update(1.0f / 240);  // 0.4958 s: no pass yet
  EXPECT_EQ(items.CountAt("fruit", drawn[2], false), lying);
  // Summing 1/240 in floats lands the next pass on step 120 or just after it.
  for (int i = 0; i < 2; ++i) trees.Update(1.0f / 240);
  EXPECT_EQ(items.CountAt("fruit", drawn[2], false), lying < 3 ? lying + 1 : 3);
  // A generator stuck at zero draws tile 0 twice a pass: 0 -> 2 fruit, then capped at 3.
  ASSERT_EQ(items.CountAt("fruit", 0, false), 0);
  const int expect[3] = {2, 3, 3};
  for (int pass = 0; pass < 3; ++pass) {
    fruitRng = FruitRng{0, 0};
    trees.m_timeToFruit = 0;
    trees.Update(0.001f);
    EXPECT_EQ(items.CountAt("fruit", 0, false), expect[pass]) << pass;
  }
  // Without apple trees nothing grows.
  for (int t = 0; t < sz; ++t) trees.m_density[TK_APPL][t] = 0;
  const int fruit = items.Count("fruit");
  for (int i = 0; i < 240 * 3; ++i) trees.Update(1.0f / 240);
  EXPECT_EQ(items.Count("fruit"), fruit);
  FruitRngReset();
}

TEST(Vegetation, QuarryingClearsBitsAndRebuildsTransforms) {
  std::unique_ptr<Wld> world = BareWorld();
  ASSERT_TRUE(world);
  Rocks& rocks = world->rocks;
  Globe& g = world->globe;
  const int t = InnerHexagon(g);
  // Two pieces, kinds 3 and 5, in slots 0 and 2, with a pine standing on the tile.
  rocks.m_formations[t][0] = 3;
  rocks.m_formations[t][2] = 5;
  rocks.m_counts[3] = 1, rocks.m_counts[5] = 1;
  world->trees.m_density[TK_PINE][t] = 1;
  world->trees.m_count[TK_PINE] = 1;
  rocks.SetTransforms();
  g.AttribsSet(t, AT_ROCKY | AT_ROCKYBLOCK);
  g.AttribsClear(t, AT_UNCLAIMED);
  EXPECT_EQ(rocks.IsBlocked(t, -1), 2);
  EXPECT_EQ(rocks.IsBlocked(t, 5), 1);
  EXPECT_EQ(rocks.FirstSlot(t), 0);
  // Felling the pine since the last rebuild moves the remaining piece up the pile on the next one.
  ASSERT_EQ(world->trees.Fell(t, TK_PINE), 0);
  const Matrix44 before = rocks.m_trfs[5][0];
  CapturedLog log;
  EXPECT_EQ(rocks.Quarry(t, 0), 3);
  EXPECT_EQ(rocks.m_counts[3], 0);
  EXPECT_EQ(rocks.m_trfs[3], nullptr);
  EXPECT_FALSE(SameMatrix(before, rocks.m_trfs[5][0]));
  const PileOffset p = PileOffsetAt(2);
  const float w = g.m_hexw;
  EXPECT_TRUE(
      SameMatrix(rocks.m_trfs[5][0], g.m_trfs[t] * Matrix44::Translation(Vec3{p.x * 0.5f * w, p.y * 0.5f * w, 0}) *
                                         Matrix44::Scale(Vec3{0.75f * w, 0.75f * w, 0.75f * w})));
  EXPECT_TRUE(Has(*world, t, AT_ROCKY | AT_ROCKYBLOCK));
  EXPECT_FALSE(log.Has("no longer blocked by rocks"));
  EXPECT_EQ(rocks.FirstSlot(t), 2);
  EXPECT_EQ(rocks.Quarry(t, 2), 5);
  EXPECT_FALSE(Has(*world, t, AT_ROCKY));
  EXPECT_FALSE(Has(*world, t, AT_ROCKYBLOCK));
  EXPECT_TRUE(Has(*world, t, AT_UNCLAIMED));
  EXPECT_TRUE(log.Has(("Tile " + std::to_string(t) + " no longer blocked by rocks.").c_str()));
  EXPECT_EQ(rocks.FirstSlot(t), -1);
  // An empty slot, a slot out of range or a bad tile is refused and changes nothing.
  EXPECT_EQ(rocks.Quarry(t, 2), -1);
  EXPECT_EQ(rocks.Quarry(t, 24), -1);
  EXPECT_EQ(rocks.Quarry(-3, 0), -1);
  for (int k = 0; k < NUMROCKKINDS; ++k) EXPECT_EQ(rocks.m_counts[k], 0);
  // Water never counts as blocked.
  EXPECT_EQ(rocks.IsBlocked(t, -1), 0);
}

TEST(Vegetation, SceneDumpListsTreesRocksAndBuildings) {
  std::unique_ptr<Wld> world = BareWorld();
  ASSERT_TRUE(world);
  const int t = InnerHexagon(world->globe);
  world->trees.m_density[TK_STMP][t] = 1;
  world->trees.m_density[TK_PINE][t] = 2;
  world->trees.m_count[TK_STMP] = 1, world->trees.m_count[TK_PINE] = 2;
  world->rocks.m_formations[t][0] = 4;
  world->rocks.m_counts[4] = 1;
  world->rocks.SetTransforms();
  ASSERT_EQ(world->buildings.Add("cage", t, AT_CAGE), 0);
  ASSERT_EQ(world->buildings.Add("depot", 40, AT_STORAGE), 1);
  ASSERT_EQ(world->buildings.Remove(1), 40);
  FileHandle out = FileOpenWrite("scene.dae", true);
  ASSERT_NE(out, 0u);
  for (int k = 0; k < NUMTREEKINDS; ++k) world->trees.WriteScene(out, k, treeKindNames[k]);
  for (int k = 0; k < NUMROCKKINDS; ++k) world->rocks.WriteScene(out, k, rockKindNames[k]);
  EXPECT_EQ(world->buildings.WriteScene(out), 1);
  FileClose(out);
  FixedString path;
  ASSERT_TRUE(FilePathMake(&path, "scene.dae", true));
  FILE* f = fopen(path.c_str(), "r");
  ASSERT_NE(f, nullptr);
  char line[2048];
  int stmp = 0, pine = 0, rock = 0, cage = 0, depot = 0;
  while (fgets(line, sizeof(line), f)) {
    stmp += strstr(line, "trees.dae#stmp") != nullptr;
    pine += strstr(line, "trees.dae#pine") != nullptr;
    rock += strstr(line, "rocks.dae#rock4") != nullptr;
    cage += strstr(line, "buildings.dae#cage") != nullptr;
    depot += strstr(line, "buildings.dae#depot") != nullptr;
  }
  fclose(f);
  EXPECT_EQ(stmp, 1);
  EXPECT_EQ(pine, 2);
  EXPECT_EQ(rock, 1);
  EXPECT_EQ(cage, 1);
  EXPECT_EQ(depot, 0);  // freed slots are skipped
}

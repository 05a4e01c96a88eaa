// The step's bookkeeping that follows changes instead of rereading the planet: occupancy, the storage count, the
// crowding walk and the survey, each checked against a whole-planet reading of the same state.
#include <gtest/gtest.h>

#include <climits>
#include <thread>
#include <vector>

#include "test_support.h"
#include "world/parts_fixture.h"
#include "world/wld.h"

namespace {

uint32_t seed = 7;
int Draw(int n) {
  seed = seed * 1103515245u + 12345u;
  return static_cast<int>((seed >> 8) % static_cast<uint32_t>(n));
}

// The occupancy as the rules define it, read from the whole item and character tables.
void ReferenceOccupancy(const Wld& w, std::vector<uint64_t>* inv, std::vector<uint64_t>* pres) {
  const Globe& g = w.globe;
  inv->assign(g.m_sz, 0);
  pres->assign(g.m_sz, 0);
  const uint64_t sites = AT_BRIDGECONSTRUCTION | AT_DECKCONSTRUCTION | AT_FACTCONSTRUCTION | AT_ROADCONSTRUCTION;
  const Items& items = w.items;
  for (int i = 0; i < items.m_cnt; ++i) {
    if (items.m_name[i].Empty() || items.m_carr[i] != -1 || items.m_clai[i] != -1) continue;
    const int type = items.m_type[i], loc = items.m_loca[i];
    if (type < 0 || type >= 64 || !g.IsValid(loc)) continue;
    if (type <= 1 && (g.Attribs(loc) & sites)) continue;
    (*inv)[loc] |= 1ull << type;
  }
  for (int n = 0; n < w.actors.m_cnt; ++n)
    if (!w.actors.m_name[n].Empty() && g.IsValid(w.actors.m_loca[n])) (*pres)[w.actors.m_loca[n]] |= 1ull << n;
}

// Breadth-first distances with a whole-planet distance array, as the survey was first written.
int ReferenceSurvey(const Globe& g, int start, int limit, int attribDist[32], int itemDist[64], int actorDist[64]) {
  std::vector<int> distance(g.m_sz, INT_MAX), queue(limit);
  int head = 0, tail = 0;
  distance[start] = 1;
  queue[tail++] = start;
  while (head < tail) {
    const int t = queue[head++];
    g.SurveyTile(t, distance[t], attribDist, itemDist, actorDist);
    for (int k = 0; k < 6; ++k) {
      const int n = g.m_nodes[t].neighbours[k];
      if (n < 0 || distance[n] != INT_MAX || g.m_nodes[t].edgecosts[k] < 1) continue;
      distance[n] = distance[t] + 1;
      if (tail < limit) queue[tail++] = n;
    }
  }
  return tail;
}

int NaiveStorage(const Globe& g) {
  int count = 0;
  for (int t = 0; t < g.m_sz; ++t) count += (g.Attribs(t) & AT_STORAGE) != 0;
  return count;
}

}  // namespace

// Items appear, move, are carried, claimed and removed, sites come and go under material, and
// characters walk; after every rebuild both arrays, the item types anywhere and the crowding push
// must equal a whole-planet reading. A rebuild after the arrays were overwritten (as loading does)
// starts over from the whole planet.
TEST(Occupancy, FollowsEveryKindOfChangeLikeAWholePlanetRebuild) {
  auto world = BareWorld();
  ASSERT_TRUE(world);
  Wld& w = *world;
  Globe& g = w.globe;
  const int sz = g.m_sz;
  for (int n = 0; n < 12; ++n) w.actors.Add("Gahk", Draw(sz));
  const char* names[] = {"lumber", "stone", "woodaxe", "fruit", "pickaxe"};
  for (int i = 0; i < 40; ++i) w.items.Add(names[i % 5], Draw(sz), i % 5 < 2 ? IS_MATERIAL : IS_TOOL);
  std::vector<uint64_t> inv, pres;
  for (int round = 0; round < 400; ++round) {
    for (int change = 0; change < 6; ++change) {
      const int i = Draw(w.items.m_cnt);
      switch (Draw(8)) {
        case 0:
          w.items.m_loca[i] = Draw(sz);
          break;
        case 1:
          w.items.m_carr[i] = w.items.m_carr[i] == -1 ? Draw(12) : -1;
          break;
        case 2:
          w.items.m_clai[i] = w.items.m_clai[i] == -1 ? Draw(12) : -1;
          break;
        case 3:
          if (w.items.InUse(i)) w.items.Remove(i);
          break;
        case 4:
          w.items.Add(names[Draw(5)], Draw(sz), IS_MATERIAL);
          break;
        case 5: {
          const int t = w.items.m_loca[i];
          if (g.IsValid(t))
            (g.Attribs(t) & AT_ROADCONSTRUCTION) ? g.AttribsClear(t, AT_ROADCONSTRUCTION)
                                                 : g.AttribsSet(t, AT_ROADCONSTRUCTION);
          break;
        }
        default:
          w.actors.m_loca[Draw(12)] = Draw(sz);
          break;
      }
    }
    if (round == 200) {
      // Loading writes the arrays in place: stale words must not survive the next rebuild.
      for (int t = 0; t < sz; t += 5) g.m_inventories[t] = ~0ull, g.m_presences[t] = ~0ull;
      g.ForgetOccupancy();
    }
    g.UpdateOccupancy();
    ReferenceOccupancy(w, &inv, &pres);
    uint64_t anywhere = 0;
    for (int t = 0; t < sz; ++t) {
      ASSERT_EQ(g.m_inventories[t], inv[t]) << "round " << round << " tile " << t;
      ASSERT_EQ(g.m_presences[t], pres[t]) << "round " << round << " tile " << t;
      anywhere |= inv[t];
    }
    ASSERT_EQ(g.ItemTypesAnywhere(), anywhere) << round;
    // Crowd a few characters on one tile now and then; the push count is the reference's pairs.
    if (round % 50 == 0) {
      const int t = w.actors.m_loca[0];
      for (int n = 1; n < 4; ++n) w.actors.m_loca[n] = t;
      g.UpdateOccupancy();
      int pairs = 0;
      for (int a = 0; a < 12; ++a)
        for (int b = a + 1; b < 12; ++b) pairs += w.actors.m_loca[a] == w.actors.m_loca[b];
      // Every character stands at its added tile's centre: the ones moved here are far apart only
      // when added elsewhere, so count the pushes the positions allow.
      int expected = 0;
      for (int a = 0; a < 12; ++a)
        for (int b = a + 1; b < 12; ++b) {
          if (w.actors.m_loca[a] != w.actors.m_loca[b]) continue;
          if (!(w.actors.m_stat[a] & w.actors.m_stat[b] & ST_ACTIVE)) continue;
          const Vec3 d = w.actors.m_trfs[a].GetTranslation() - w.actors.m_trfs[b].GetTranslation();
          expected += d.Length() < 0.3f * g.m_hexw;
        }
      EXPECT_GE(pairs, 3);
      EXPECT_EQ(g.SeparateActors(), expected) << round;
    }
  }
}

// The storage count follows the bit through every helper, also from a second thread, and counts
// afresh once the tiles were read whole.
TEST(Occupancy, StorageCountFollowsTheStorageBit) {
  auto world = BareWorld();
  ASSERT_TRUE(world);
  Globe& g = world->globe;
  EXPECT_EQ(g.CountStorage(), NaiveStorage(g));
  for (int i = 0; i < 2000; ++i) {
    const int t = Draw(g.m_sz);
    switch (Draw(4)) {
      case 0:
        g.AttribsSet(t, AT_STORAGE | AT_URBAN);
        break;
      case 1:
        g.AttribsClear(t, AT_STORAGE | AT_FILLEDSTORAGE);
        break;
      case 2:
        g.AttribsStore(t, Draw(2) ? AT_STORAGE : AT_FILLEDSTORAGE);
        break;
      default:
        g.AttribsSet(t, AT_STORAGE);  // already set or not: counted once
        break;
    }
    ASSERT_EQ(g.CountStorage(), NaiveStorage(g)) << i;
  }
  // The path service clears "unclaimed" meanwhile; that never moves the count.
  std::thread pathing([&] {
    for (int round = 0; round < 200; ++round)
      for (int t = 0; t < g.m_sz; ++t) g.AttribsClear(t, AT_UNCLAIMED);
  });
  for (int round = 0; round < 200; ++round)
    for (int t = 0; t < g.m_sz; t += 3) round % 2 ? g.AttribsClear(t, AT_STORAGE) : g.AttribsSet(t, AT_STORAGE);
  pathing.join();
  EXPECT_EQ(g.CountStorage(), NaiveStorage(g));
  // Written behind the helpers' back, as the loader does, then forgotten: counted again.
  for (int t = 0; t < g.m_sz; t += 2) g.m_nodes[t].attribs |= AT_STORAGE;
  g.ForgetOccupancy();
  EXPECT_EQ(g.CountStorage(), NaiveStorage(g));
}

// The survey with its kept stamps gives the same distances and counts as one with a fresh
// whole-planet array, for every limit, start and crowding, call after call.
TEST(Occupancy, SurveyAgreesWithAWholePlanetSearch) {
  auto world = GeneratedWorld(2, 0);
  ASSERT_TRUE(world);
  Wld& w = *world;
  Globe& g = w.globe;
  for (int n = 0; n < 8; ++n) w.actors.Add("Gahk", Draw(g.m_sz));
  for (int i = 0; i < 60; ++i) w.items.Add(i % 2 ? "woodaxe" : "stone", Draw(g.m_sz), IS_TOOL);
  g.UpdateOccupancy();
  for (int limit : {1, 2, 64, 1024, 100000}) {
    for (int s = 0; s < 40; ++s) {
      const int start = Draw(g.m_sz);
      int a1[32] = {}, i1[64] = {}, c1[64] = {}, a2[32] = {}, i2[64] = {}, c2[64] = {};
      ASSERT_EQ(g.Survey(start, limit, a1, i1, c1), ReferenceSurvey(g, start, limit, a2, i2, c2));
      for (int b = 0; b < 32; ++b) ASSERT_EQ(a1[b], a2[b]) << limit << " " << start;
      for (int b = 0; b < 64; ++b) ASSERT_EQ(i1[b], i2[b]) << limit << " " << start;
      for (int b = 0; b < 64; ++b) ASSERT_EQ(c1[b], c2[b]) << limit << " " << start;
    }
  }
}

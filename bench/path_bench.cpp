// Tile path search timings on the 21872-tile planet, one "name value unit" line per figure.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_util.h"
#include "world/planet/terraform.h"
#include "world/planet/tile_search.h"
#include "world/wld.h"

// A failing search logs its line; Quiet keeps that out of the figures while still paying for it.
using bench::CpuUs;
using bench::Loud;
using bench::Median;
using bench::NowUs;
using bench::Quiet;

namespace {

uint32_t seed = 2024;
int RandomTile(int n) {
  seed = seed * 1103515245u + 12345u;
  return static_cast<int>((seed >> 8) % static_cast<uint32_t>(n));
}

}  // namespace

int main() {
  char userDir[] = "/tmp/path_bench_XXXXXX";
  if (!bench::UseTempFolders(userDir)) return 1;

  Quiet();
  // The largest planet size (dump 7) as the game makes it.
  const int made = TerraformWrite(5, 2, 0, 1, 2);
  Wld* world = new Wld("Bench");
  const int sz = made == 0 ? world->LoadTopology("custom.top") : -1;
  Loud();
  if (sz != 21872) {
    fprintf(stderr, "the 21872-tile planet did not load (%d); run from the build folder\n", sz);
    return 1;
  }

  int32_t path[256];
  // Pairs whose path is about 100 tiles long.
  std::vector<std::pair<int, int>> pairs;
  Quiet();
  for (int i = 0; i < 20000 && pairs.size() < 40; ++i) {
    const int a = RandomTile(sz), b = RandomTile(sz);
    int len = 256;
    if (TilePathSearch(world, a, b, 0, 0, path, &len) >= 0 && len >= 90 && len <= 110) pairs.emplace_back(a, b);
  }
  Loud();
  std::vector<double> times, cpuTimes;
  std::vector<double> closedCounts;
  for (const auto& p : pairs) {
    for (int rep = 0; rep < 5; ++rep) {
      int len = 256;
      const double t0 = NowUs(), c0 = CpuUs();
      TilePathSearch(world, p.first, p.second, 0, 0, path, &len);
      cpuTimes.push_back(CpuUs() - c0);
      times.push_back(NowUs() - t0);
    }
    int open = 0, closed = 0;
    TileSearchCounts(&open, &closed);
    closedCounts.push_back(closed);
  }
  printf("path_100_tiles_pairs %zu count\n", pairs.size());
  printf("path_100_tiles_median %.1f us\n", Median(times));
  printf("path_100_tiles_cpu_median %.1f us\n", Median(cpuTimes));
  printf("path_100_tiles_max %.1f us\n", times.empty() ? 0.0 : *std::max_element(times.begin(), times.end()));
  printf("path_100_tiles_closed_median %.0f nodes\n", Median(closedCounts));

  // Futile searches: an attribute no tile has. On level ground every such search runs into the
  // closed-set limit, the worst a search can cost.
  Globe& g = world->globe;
  for (int t = 0; t < g.m_sz; ++t)
    for (int k = 0; k < 6; ++k)
      if (g.m_nodes[t].neighbours[k] >= 0) g.m_nodes[t].edgecosts[k] = 2;
  std::vector<double> fails, failsCpu;
  int atLimit = 0;
  Quiet();
  for (int i = 0; i < 30; ++i) {
    int len = 256;
    const int start = RandomTile(sz);
    const double t0 = NowUs(), c0 = CpuUs();
    const int cost = TilePathSearch(world, start, -1, AT_SMITHY, 0, path, &len);
    failsCpu.push_back(CpuUs() - c0);
    fails.push_back(NowUs() - t0);
    int open = 0, closed = 0;
    TileSearchCounts(&open, &closed);
    atLimit += cost < 0 && closed == c_tileSetLimit;
  }
  Loud();
  printf("fail_at_node_limit_median %.1f us\n", Median(fails));
  printf("fail_at_node_limit_cpu_median %.1f us\n", Median(failsCpu));
  printf("fail_at_node_limit_max %.1f us\n", *std::max_element(fails.begin(), fails.end()));
  printf("fail_at_node_limit_runs %d count\n", atLimit);

  Quiet();
  delete world;
  Loud();
  return 0;
}

// Per-step costs of trees, material flows and demand on the 21872-tile planet, one "name value unit" line per figure.
#include <cstdio>

#include "bench_util.h"
#include "world/planet/terraform.h"
#include "world/wld.h"

// World generation and the flows log lines; Quiet keeps them out of the figures.
using bench::Loud;
using bench::PerStepUs;
using bench::Quiet;

namespace {

// What a step cost when every site counted its material over all item slots.
int NaiveFlowCounts(const Wld& w) {
  int sum = 0;
  for (int b = 0; b < w.buildings.m_cnt; ++b) {
    if (w.buildings.m_name[b].Empty()) continue;
    sum += w.items.CountAt("lumber", w.buildings.m_loca[b], false);
    sum += w.items.CountAt("stone", w.buildings.m_loca[b], false);
  }
  return sum;
}

}  // namespace

int main() {
  char userDir[] = "/tmp/world_parts_bench_XXXXXX";
  if (!bench::UseTempFolders(userDir)) return 1;

  Quiet();
  CustomParamsReset();
  customParamValues[0] = 5;  // "jumbo": the 21872-tile planet
  Wld* world = TerraformNewWorld("Bench");
  if (!world) {
    Loud();
    fprintf(stderr, "the planet did not load; run with QUILLOMAR_DATA_DIR set to the build folder\n");
    return 1;
  }
  world->trees.Generate(0);
  world->rocks.Generate(0);
  world->minerals.Generate(MK_IRON, 0);
  world->globe.ComputeAttribs();
  const int sz = world->globe.m_sz;

  // A few hundred construction sites on clear land, with material lying on most of them and the
  // rest of the item table filled, as in a busy late game.
  const int c_sites = 400;
  const char* kinds[3] = {"plconstruction", "dkconstruction1", "brconstruction"};
  const uint64_t bits[3] = {AT_STONECONSTRUCTION | AT_ROADCONSTRUCTION, AT_WOODCONSTRUCTION | AT_DECKCONSTRUCTION,
                            AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION | AT_BRIDGECONSTRUCTION};
  int sites = 0;
  for (int t = 0; t < sz && sites < c_sites; t += 7) {
    if (world->globe.m_nodes[t].type != TP_LAND || world->trees.IsBlocked(t, -1) || world->rocks.IsBlocked(t, -1))
      continue;
    if (world->buildings.Add(kinds[sites % 3], t, bits[sites % 3]) < 0) break;
    for (int i = 0; i < sites % 5; ++i) world->items.Add(i % 2 ? "stone" : "lumber", t, IS_MATERIAL);
    ++sites;
  }
  for (int t = 1; world->items.m_cnt < MAXITEMS - 8 && t < sz; t += 3) world->items.Add("woodaxe", t, IS_TOOL);
  // Seedlings on some tiles so the growth scan runs too.
  for (int t = 0; t < sz; t += 97)
    if (world->globe.m_nodes[t].type == TP_LAND) world->trees.Plant(t);
  world->buildings.UpdateFlows();

  const float dt = 1.0f / 240;
  const double trees = PerStepUs(9, 2400, [&] { world->trees.Update(dt); });
  const double flows = PerStepUs(9, 240, [&] { world->buildings.UpdateFlows(); });
  Loud();
  volatile int sink = 0;
  const double naive = PerStepUs(5, 24, [&] { sink = sink + NaiveFlowCounts(*world); });
  const double demand = PerStepUs(9, 240, [&] { world->demand.Update(); });

  printf("world_parts_tiles %d tiles\n", sz);
  printf("world_parts_sites %d sites\n", world->buildings.m_cnt);
  printf("world_parts_items %d items\n", world->items.m_cnt);
  printf("trees_update_step %.2f us\n", trees);
  printf("buildings_updateflows_step %.2f us\n", flows);
  printf("buildings_per_site_item_scan_step %.2f us\n", naive);
  printf("demand_update_step %.2f us\n", demand);
  delete world;
  return 0;
}

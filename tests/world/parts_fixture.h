// Worlds for the tests of trees, rocks, minerals, buildings and demand: a flat bare planet or a generated one.
#pragma once

#include <memory>

#include "planet_fixture.h"
#include "world/planet/terraform.h"

// Every tile of the dump's shape land at level 1, with empty forest and rock maps, no items and
// tile transforms in place. Null when the planet does not load.
inline std::unique_ptr<Wld> BareWorld(int dumpNumber = 2) {
  UseTestFolders();
  DumpShape shape = ReadDumpShape(dumpNumber);
  WriteTopology(shape, std::vector<int>(shape.numTiles, 1));
  auto world = std::make_unique<Wld>("Test");
  if (world->LoadTopology("custom.top") != shape.numTiles) return nullptr;
  PlaceTiles(world->globe);
  Items& items = world->items;
  for (int i = 0; i < items.m_cnt; ++i)
    if (items.InUse(i)) items.Remove(i);
  Trees& trees = world->trees;
  trees.Generate(0);
  for (int k = 0; k < NUMTREEKINDS; ++k) {
    for (int t = 0; t < trees.m_sz; ++t) trees.m_density[k][t] = 0;
    trees.m_count[k] = 0;
  }
  trees.UpdateGroves();
  Rocks& rocks = world->rocks;
  rocks.Generate(0);
  memset(rocks.m_formations, -1, sizeof(rocks.m_formations[0]) * rocks.m_sz);
  for (int k = 0; k < NUMROCKKINDS; ++k) rocks.m_counts[k] = 0;
  rocks.SetTransforms();
  world->globe.ComputeAttribs();
  return world;
}

// A new world as the game makes one: the planet of the size (0..5) converted from its dump, then
// trees, rocks and iron placed for the variant and the tile attributes computed.
inline std::unique_ptr<Wld> GeneratedWorld(int planetSize, int variant) {
  UseTestFolders();
  CustomParamsReset();
  customParamValues[0] = planetSize;
  customParamValues[4] = variant;
  std::unique_ptr<Wld> world(TerraformNewWorld("Test"));
  if (!world) return nullptr;
  world->trees.Generate(variant);
  world->rocks.Generate(variant);
  world->minerals.Generate(MK_IRON, variant);
  world->globe.ComputeAttribs();
  return world;
}

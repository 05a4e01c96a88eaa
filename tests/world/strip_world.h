// A hand-made world for the character tests and the planning bench: a strip of land tiles, each linked to the next.
#pragma once

#include <memory>

#include "world/planet/globe.h"
#include "world/wld.h"

// A world whose globe is a strip of n land tiles, each linked to the next (tile i has the
// translation (i, 0, 1) so transforms can be told apart). Nothing else is on it.
inline std::unique_ptr<Wld> StripWorld(int n = 8, const char* name = "Test") {
  auto world = std::make_unique<Wld>(name);
  Globe& g = world->globe;
  g.CleanUp();
  g.m_sz = n;
  g.m_hexw = 1.0f;
  g.m_nodes = new GridNode[n]();
  g.m_trfs = new Matrix44[n];
  g.m_heights = new float[n]();
  g.m_inventories = new uint64_t[n]();
  g.m_presences = new uint64_t[n]();
  for (int i = 0; i < n; ++i) {
    GridNode& node = g.m_nodes[i];
    node.nr = i;
    node.type = TP_LAND;
    node.height = 1;
    node.numneighbours = 2;
    for (int k = 0; k < 6; ++k) node.neighbours[k] = -1, node.edgecosts[k] = -1;
    if (i > 0) node.neighbours[0] = i - 1, node.edgecosts[0] = 1;
    if (i + 1 < n) node.neighbours[1] = i + 1, node.edgecosts[1] = 1;
    g.m_trfs[i].SetTranslation(Vec3{static_cast<float>(i), 0.0f, 1.0f});
    g.m_heights[i] = 1.0f;
  }
  return world;
}

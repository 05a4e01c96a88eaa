// Fuzzes the "custom.top" loader: a topology it accepts must carry the globe's own work (continents,
// attributes, occupancy, surveys, bridge starts) and world generation without a fault.
#include <cmath>
#include <vector>

#include "fuzz_support.h"
#include "world/planet/globe.h"
#include "world/wld.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpFolders(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteFile("custom.top", true, data, size);
  WorldRngReset();
  Wld world("Fuzz");
  // Neighbour numbers beyond the planet are reported as assertions and mended by the loader.
  ++fuzz::assertsAllowed;
  const int tiles = world.LoadTopology("custom.top");
  --fuzz::assertsAllowed;
  if (tiles < 0) return 0;
  Globe& g = world.globe;
  if (tiles != g.m_sz || tiles < 12) abort();
  // Transforms from the tile centres, as the planet mesh would give them.
  std::vector<Matrix44> trfs(tiles);
  for (int t = 0; t < tiles; ++t) {
    Vec3 c = g.m_nodes[t].centre;
    const float len = c.Length();
    if (!(len > 1e-3f && len < 1e6f)) c = Vec3{0, 0, 1};
    const Vec3 up = Normalize(c);
    const Vec3 hint = std::fabs(up.z) < 0.9f ? Vec3{0, 0, 1} : Vec3{1, 0, 0};
    trfs[t] = Matrix44::AlignZY(hint, up);
    trfs[t].SetTranslation(c);
  }
  g.SetTileTransforms(trfs.data());
  g.ComputeAttribs();
  g.UpdateOccupancy();
  int attribDist[32], itemDist[64], actorDist[64];
  g.Survey(0, tiles, attribDist, itemDist, actorDist);
  for (int t = 0; t < tiles; ++t) {
    g.IsBuildable(t);
    g.IsLevel(t);
    g.BridgeStart(t);
  }
  // Small planets are generated whole; big ones would only slow the run down.
  if (tiles <= 400) world.Generate(0);
  return 0;
}

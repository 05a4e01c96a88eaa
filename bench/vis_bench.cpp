// The visualisation frame's processor work without GL, on the largest planet with every instance table full.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_util.h"
#include "graphics/models/model_db.h"
#include "graphics/vis/camera.h"
#include "graphics/vis/vis_cull.h"
#include "graphics/vis/vis_instances.h"
#include "world/actors/actors_move.h"
#include "world/planet/terraform.h"
#include "world/planet/worldgen.h"
#include "world/wld.h"

using bench::Loud;
using bench::Quiet;

namespace {

// Fills every table the drawing reads to its limit: trees above their models' room, 512 rocks of
// each kind, 1024 mineral fields of each kind, 3072 items (some carried, gems and glowing ones
// among them), 1024 buildings, 32 crowned characters and a player's path of 256 tiles.
void FillWorld(Wld* w, std::vector<Matrix44>* rockStore, std::vector<Matrix44>* mineralStore) {
  Globe& g = w->globe;
  for (int k = 0; k < NUMTREEKINDS; ++k) {
    for (int t = 0; t < w->trees.m_sz; ++t) w->trees.m_density[k][t] = (t + k) % 3 == 0 ? 2 : 0;
    w->trees.m_count[k] = 0;
    for (int t = 0; t < w->trees.m_sz; ++t) w->trees.m_count[k] += w->trees.m_density[k][t];
  }
  rockStore->assign(NUMROCKKINDS * c_rockInstanceLimit, g.m_trfs[0]);
  for (int k = 0; k < NUMROCKKINDS; ++k) {
    w->rocks.m_trfs[k] = rockStore->data() + k * c_rockInstanceLimit;
    w->rocks.m_counts[k] = c_rockInstanceLimit;
  }
  mineralStore->assign(NUMMINERALS * c_mineralInstanceLimit, g.m_trfs[1]);
  for (int k = 0; k < NUMMINERALS; ++k) {
    w->minerals.m_trfs[k] = mineralStore->data() + k * c_mineralInstanceLimit;
    w->minerals.m_counts[k] = c_mineralInstanceLimit;
  }
  static const char* const names[] = {"stone", "lumber", "redgem", "water", "fruit", "timber", "chest", "crown"};
  for (int i = 0; i < MAXITEMS; ++i) {
    if (w->items.InUse(i)) continue;
    const char* name = names[i % 8];
    const uint64_t st = strstr(name, "gem") ? (IS_GEM | IS_GLOWING) : 0;
    w->items.Add(name, (i * 7) % g.m_sz, st);
  }
  for (int i = 0; i < MAXITEMS; i += 97)
    if (w->actors.m_cnt > 0) w->items.m_carr[i] = i % w->actors.m_cnt;
  static const char* const kinds[] = {"plaza", "depot", "sawmill", "streetstraight", "singledeck", "storage"};
  for (int b = w->buildings.m_cnt; b < MAXBUILDINGS; ++b) w->buildings.Add(kinds[b % 6], (b * 13) % g.m_sz, 0);
  while (w->actors.m_cnt < MAXACTORS && w->actors.Add("Bench", (w->actors.m_cnt * 31) % g.m_sz) >= 0) {
  }
  for (int n = 0; n < w->actors.m_cnt; ++n) w->actors.m_stat[n] |= ST_CROWNED | ST_ACTIVE;
  const int p = w->actors.FindPlayer() >= 0 ? w->actors.FindPlayer() : 0;
  w->actors.m_stat[p] |= ST_CHOSEN;
  int tile = w->actors.m_loca[p];
  for (int k = 0; k < c_tilePathLimit; ++k) {
    w->actors.m_ploc[p][k] = tile;
    tile = g.m_nodes[tile].neighbours[k % 3] >= 0 ? g.m_nodes[tile].neighbours[k % 3] : tile;
  }
  w->actors.m_pasz[p] = c_tilePathLimit;
  w->actors.m_pathStage[p] = 10;
  const int marker = w->items.Add("bridgemarker", w->actors.m_loca[p], 0);
  if (marker >= 0) w->items.m_carr[marker] = p;
}

}  // namespace

int main() {
  char userDir[] = "/tmp/quillomar-vis-bench-XXXXXX";
  if (!bench::UseTempFolders(userDir)) return 1;
  Quiet();
  CustomParamsReset();
  customParamValues[0] = 5;  // the largest planet
  WorldRngReset();
  Wld* world = TerraformNewWorld("Bench");
  const bool made = world && world->Generate(customParamValues[4]) == WG_OK;
  ModelDB db;
  db.SetHeadless(true);
  db.SetFolder("data/props");
  const int ork = db.Load("data/props/ork.md2", false, 0);
  const int planetSlot = made ? db.Load("custom.geo", false, 1) : -1;
  Loud();
  if (!made) {
    printf("vis_frame_cpu_failed 1 flag\n");
    return 1;
  }
  std::vector<Matrix44> rocks, minerals;
  // The parts' own arrays go back before the world is deleted.
  Matrix44* ownRocks[NUMROCKKINDS];
  int32_t ownRockCounts[NUMROCKKINDS];
  Matrix44* ownMinerals[NUMMINERALS];
  int32_t ownMineralCounts[NUMMINERALS];
  memcpy(ownRocks, world->rocks.m_trfs, sizeof(ownRocks));
  memcpy(ownRockCounts, world->rocks.m_counts, sizeof(ownRockCounts));
  memcpy(ownMinerals, world->minerals.m_trfs, sizeof(ownMinerals));
  memcpy(ownMineralCounts, world->minerals.m_counts, sizeof(ownMineralCounts));
  Quiet();
  FillWorld(world, &rocks, &minerals);
  Loud();

  FrameInstances instances;
  instances.Resize(world->globe.m_sz);
  Matrix44 attach[MAXACTORS];
  PlanetCamera planet;
  IntroCamera intro;
  PlanetCameraInit(&planet);
  IntroCameraInit(&intro);
  PickState pick;
  FixedString lines[NUMATTRIBS];
  const ModelEntry* figure = db.Entry(ork);
  const Matrix44* tileTrfs = world->globe.m_trfs;
  const int tiles = world->globe.m_sz;
  // The planet's chunks as the game splits them, and a model's bounds of about a tile's size.
  PlanetChunks chunks;
  const ModelEntry* planetEntry = db.Entry(planetSlot);
  if (planetEntry)
    PlanetChunksBuild(planetEntry->m_mesh.GeoVertices(), planetEntry->m_mesh.m_triangleCount,
                      planetEntry->m_mesh.m_lineCount, std::clamp(static_cast<int>(sqrtf(tiles / 180.0f)), 1, 16),
                      &chunks);
  std::vector<int32_t> runFirst(chunks.chunkCount + 1), runCount(chunks.chunkCount + 1);
  Aabb modelBox;
  modelBox.Extend(Vec3{-0.5f, -0.5f, 0.0f});
  modelBox.Extend(Vec3{0.5f, 0.5f, 1.0f});
  const CullBounds bounds = CullBoundsOfBox(modelBox);
  std::vector<Matrix44> kept(MAXITEMS > 6144 ? MAXITEMS : 6144);
  int keptCount = 0;
  // One frame's processor work, in the order of the game frame: picking over every tile and
  // character, the cameras, the tile window's lines, every instance table, and the characters'
  // poses and crown frames. The tree cuts log their line every frame, as the game does.
  auto frame = [&]() {
    PickStateFollowWorld(&pick, world);
    const Vec3 p = tileTrfs[tiles / 3].GetTranslation() * 1.0001f;
    pick.m_hoverTile = PickNearestTile(tileTrfs, tiles, p);
    pick.m_hoverActor = PickNearestActor(world->actors, p, world->globe.m_hexw);
    Vec3 grab;
    const Matrix44 cam = CameraSelect(planet, intro, c_camPlanet, c_camPlanet, 1.0f);
    PickGrabVector(cam.GetTranslation(), p, Matrix44::Inverse(cam), &grab);
    CameraGrabUpdate(&planet, grab, true);
    PlanetCameraStep(&planet, 4, 1.0f / 240.0f, 1.0f);
    IntroCameraStep(&intro, 1.0f / 240.0f, *world);
    const uint64_t bits = world->globe.Attribs(pick.m_hoverTile);
    for (int i = 0; i < NUMATTRIBS; ++i) lines[i].Format("%-24s[%c]", attribNames[i], (bits >> i) & 1 ? 'x' : ' ');
    instances.Fill(*world, attach);
    // Culling every table and the planet's chunks against the camera of this frame.
    const Matrix44 vp = Matrix44::Perspective(0.7853982f, 16.0f / 9.0f, 0.01f, 10.0f) * Matrix44::Inverse(cam);
    const CullView view = CullViewMake(vp, cam.GetTranslation(), chunks.innerRadius, chunks.outerRadius);
    PlanetChunksVisible(chunks, view, false, runFirst.data(), runCount.data());
    PlanetChunksVisible(chunks, view, true, runFirst.data(), runCount.data());
    keptCount = 0;
    for (int k = 0; k < NUMTREEKINDS; ++k) {
      int n = 0;
      const Matrix44* t = instances.Trees(k, &n);
      keptCount += CullInstances(view, bounds, t, n, kept.data());
    }
    for (int k = 0; k < NUMROCKKINDS; ++k)
      keptCount += CullInstances(view, bounds, world->rocks.m_trfs[k], world->rocks.m_counts[k], kept.data());
    for (int k = 0; k < NUMMINERALS; ++k)
      keptCount += CullInstances(view, bounds, world->minerals.m_trfs[k], world->minerals.m_counts[k], kept.data());
    for (int m = 0; m < NUMITEMMODELS; ++m) {
      int n = 0;
      const Matrix44* t = instances.Sorted().ItemRun(m, &n);
      keptCount += CullInstances(view, bounds, t, n, kept.data());
    }
    for (int m = 0; m < NUMBUILDINGMODELS; ++m) {
      int n = 0;
      const Matrix44* t = instances.Sorted().BuildingRun(m, &n);
      keptCount += CullInstances(view, bounds, t, n, kept.data());
    }
    for (int n = 0; n < world->actors.m_cnt; ++n) {
      AnimPose pose;
      if (figure &&
          db.Pose(ork, AnimationName(world->actors.m_animSeq[n]), n, world->actors.m_animTime[n], true, &pose))
        AttachFrameCompute(figure->m_mesh.Md2Vertices(), figure->m_mesh.m_vertexCount, figure->m_mesh.m_frameCount,
                           pose.frame, pose.weight, 1.4f * world->globe.m_hexw, &attach[n]);
    }
  };
  Quiet();
  for (int i = 0; i < 20; ++i) frame();
  std::vector<double> cpu;
  for (int i = 0; i < 200; ++i) {
    const double t0 = bench::CpuUs();
    frame();
    cpu.push_back(bench::CpuUs() - t0);
  }
  Loud();
  int items = 0, buildings = instances.Sorted().BuildingCount();
  for (int m = 0; m < NUMITEMMODELS; ++m) {
    int n = 0;
    instances.Sorted().ItemRun(m, &n);
    items += n;
  }
  int trees = 0;
  for (int k = 0; k < NUMTREEKINDS; ++k) {
    int n = 0;
    instances.Trees(k, &n);
    trees += n;
  }
  printf("vis_frame_tiles %d tiles\n", tiles);
  printf("vis_frame_instances %d trees, %d items, %d buildings\n", trees, items, buildings);
  printf("vis_frame_chunks %d chunks\n", chunks.chunkCount);
  printf("vis_frame_instances_kept %d instances\n", keptCount);
  printf("vis_frame_cpu_median %.3f ms\n", bench::Median(cpu) / 1000.0);
  printf("vis_frame_cpu_p95 %.3f ms\n", bench::Percentile(cpu, 95) / 1000.0);
  memcpy(world->rocks.m_trfs, ownRocks, sizeof(ownRocks));
  memcpy(world->rocks.m_counts, ownRockCounts, sizeof(ownRockCounts));
  memcpy(world->minerals.m_trfs, ownMinerals, sizeof(ownMinerals));
  memcpy(world->minerals.m_counts, ownMineralCounts, sizeof(ownMineralCounts));
  Quiet();
  delete world;
  Loud();
  return 0;
}

// Instance transforms of the world's models, computed on the processor into arrays ready to copy into the GPU: trees,
// rocks, mineral fields, items, buildings, crowns, path arrows and bridge markers.
#pragma once

#include <cstdint>

#include "utility/matrix44.h"
#include "world/parts/buildings.h"
#include "world/parts/items.h"

struct Wld;

#define NUMITEMMODELS 44
#define NUMBUILDINGMODELS 29
#define NUMANNOTATIONMODELS 4

// Model base names in drawing order (the model file is data/props/<name>.geo for items and
// data/buildings/<name>.geo for buildings).
extern const char* const itemModelNames[NUMITEMMODELS];
extern const char* const buildingModelNames[NUMBUILDINGMODELS];
// Index of the crown among the item models.
constexpr int c_crownItemModel = 43;

// Instances reserved behind each model's vertices.
constexpr int c_treeInstanceLimit[5] = {6144, 2048, 2048, 2048, 2048};
constexpr int c_rockInstanceLimit = 512;
constexpr int c_mineralInstanceLimit = 1024;
constexpr int c_itemInstanceLimit = MAXITEMS;
constexpr int c_buildingInstanceLimit = 1024;
constexpr int c_annotationInstanceLimit = 256;
constexpr int c_bridgeMarkerLimit = 64;

// The item model whose base name the item's name contains (first in model order), or -1.
int ItemModelForName(const char* name);
// The building model whose base name begins the building's name (first in model order), or -1.
int BuildingModelForName(const char* name);
// The size factor of a pulsing gem at a pulse phase in turns (clamped to 0..1): about 0.97 to 1.10.
float GemPulseFactor(float phase);

// Trees of one kind, at most capacity of them, walking the tiles in order; each tile's kinds
// share one pile. A planet count above the capacity logs the cut once per call. Returns the
// number written.
int TreeInstancesFill(const Wld& world, int kind, Matrix44* out, int capacity);
// The ready-made transforms of one rock or mineral kind, at most capacity of them.
int RockInstancesFill(const Wld& world, int kind, Matrix44* out, int capacity);
int MineralInstancesFill(const Wld& world, int kind, Matrix44* out, int capacity);
// The crown on every crowned character: its transform x its attachment frame x scale.
int CrownInstancesFill(const Wld& world, const Matrix44* attachFrames, Matrix44* out, int capacity);
// One arrow per step of the player's path (small for the steps already walked); none for a path
// of fewer than two tiles or one walked to its end.
int PathArrowInstancesFill(const Wld& world, Matrix44* out, int capacity);
// The target mark on the player's path's last tile: 1, or 0 when there is no path to show.
int PathTargetInstanceFill(const Wld& world, Matrix44* out);
// Bridge directions around the player's character while it carries a bridge marker.
int BridgeMarkerInstancesFill(const Wld& world, Matrix44* out, int capacity);

// The items and buildings sorted by model in one pass each, so that each model's draw only
// copies its run. Sized once for the planet (the per-tile pile counters); nothing is allocated
// per frame.
class ModelInstanceSort {
 public:
  ModelInstanceSort();
  ~ModelInstanceSort();
  ModelInstanceSort(const ModelInstanceSort&) = delete;
  ModelInstanceSort& operator=(const ModelInstanceSort&) = delete;

  // Room for a planet of that many tiles; false (and empty) when it cannot be had.
  bool Resize(int tiles);
  // Sorts this frame's items: all of them, and the glowing ones apart.
  void FillItems(const Wld& world);
  // Sorts this frame's buildings.
  void FillBuildings(const Wld& world);

  const Matrix44* ItemRun(int model, int* count) const;
  const Matrix44* GlowingRun(int model, int* count) const;
  const Matrix44* BuildingRun(int model, int* count) const;
  int BuildingCount() const { return m_buildingStart[NUMBUILDINGMODELS]; }

 private:
  int ItemModelOf(const Wld& world, int slot);

  int32_t* m_tileStack = nullptr;  // per tile: uncarried items met so far this frame
  int32_t m_tiles = 0;
  int16_t m_itemModel[MAXITEMS];  // model of each item slot this frame, -1 none
  int16_t m_buildingModel[MAXBUILDINGS];
  int32_t m_itemStart[NUMITEMMODELS + 1];
  int32_t m_glowStart[NUMITEMMODELS + 1];
  int32_t m_buildingStart[NUMBUILDINGMODELS + 1];
  int32_t m_typeModel[NUMITEMTYPES];  // item model of each item-type row, -1 none
  // Models of the item names without a type row (water, grain, crown...), found once each.
  struct NameModel {
    char name[32];
    int32_t model;
  };
  NameModel m_nameModels[32];
  int32_t m_nameModelCount = 0;
  Matrix44* m_items;      // MAXITEMS
  Matrix44* m_glowing;    // MAXITEMS
  Matrix44* m_buildings;  // MAXBUILDINGS
};

// The distinct vertices of the character figure that carry the crown: (left, right), (front,
// back), (top, bottom); the figure must have more distinct vertices than the highest of them.
constexpr int c_attachVertices[3][2] = {{82, 129}, {119, 305}, {134, 125}};
constexpr int c_attachMinVertices = 306;
// The crown's frame on a figure (".md2" vertices as uploaded: 8 floats, this frame's and the
// following frame's position, then s and t) at an absolute frame and blend weight, scaled as
// the figure is drawn: origin at the mean of the six points, Z from bottom to top, Y leaning
// from back to front. False (out untouched) for a figure too small or a frame outside it.
bool AttachFrameCompute(const float* md2Vertices, int vertexCount, int frameCount, int frame, float weight, float scale,
                        Matrix44* out);

// Every instance table of one frame, filled on the processor in one go before anything is sent
// to the GPU: trees cut at their models' room, items and buildings sorted by model, the path
// arrows, its target, the bridge markers and the crowns. Rocks and minerals are used straight
// from their parts. All room is reserved at construction.
class FrameInstances {
 public:
  FrameInstances();
  ~FrameInstances();
  FrameInstances(const FrameInstances&) = delete;
  FrameInstances& operator=(const FrameInstances&) = delete;

  // Room for the per-tile pile counters of a planet; false when it cannot be had.
  bool Resize(int tiles) { return m_sort.Resize(tiles); }
  // This frame's tables; attachFrames are the crowns' frames (one per character), or null.
  void Fill(const Wld& world, const Matrix44* attachFrames);

  const Matrix44* Trees(int kind, int* count) const;
  const Matrix44* Arrows(int* count) const {
    *count = m_arrowCount;
    return m_arrows;
  }
  const Matrix44* Target(int* count) const {
    *count = m_targetCount;
    return &m_target;
  }
  const Matrix44* BridgeMarkers(int* count) const {
    *count = m_bridgeCount;
    return m_bridge;
  }
  const Matrix44* Crowns(int* count) const {
    *count = m_crownCount;
    return m_crowns;
  }
  // The crown model's instances: the crowns lying about or carried, then those worn. One model
  // draws both, so they share its instance area in one upload rather than overwrite each other.
  const Matrix44* AllCrowns(int* count) const {
    *count = m_allCrownCount;
    return m_allCrowns;
  }
  const ModelInstanceSort& Sorted() const { return m_sort; }

 private:
  ModelInstanceSort m_sort;
  Matrix44* m_treeBlock;  // the five kinds' runs back to back
  Matrix44* m_trees[5];
  int32_t m_treeCount[5] = {};
  Matrix44 m_arrows[c_annotationInstanceLimit];
  int32_t m_arrowCount = 0;
  Matrix44 m_target;
  int32_t m_targetCount = 0;
  Matrix44 m_bridge[c_bridgeMarkerLimit];
  int32_t m_bridgeCount = 0;
  Matrix44 m_crowns[c_annotationInstanceLimit];
  int32_t m_crownCount = 0;
  Matrix44* m_allCrowns;  // MAXITEMS
  int32_t m_allCrownCount = 0;
};

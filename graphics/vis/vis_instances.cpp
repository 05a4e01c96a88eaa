// Instance transforms of the world's models, computed on the processor into arrays ready to copy into the GPU: trees,
// rocks, mineral fields, items, buildings, crowns, path arrows and bridge markers.
#include "graphics/vis/vis_instances.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "utility/log.h"
#include "world/wld.h"

const char* const itemModelNames[NUMITEMMODELS] = {
    "stone",       "timber",        "lumber",       "pickaxe",      "woodaxe",     "hammer",        "boltcutter",
    "water",       "manure",        "basket",       "provisions",   "emptybucket", "scythe",        "grain",
    "flour",       "milk",          "bread",        "ironore",      "ingot",       "fruit",         "sawmillmarker",
    "sawmillsite", "smeltermarker", "smeltersite",  "smithymarker", "smithysite",  "storagemarker", "storagesite",
    "roadmarker",  "roadsite",      "bridgemarker", "summitmarker", "buoy",        "poop",          "redgem",
    "bluegem",     "greengem",      "cyangem",      "purplegem",    "pinkgem",     "yellowgem",     "orangegem",
    "chest",       "crown",
};

const char* const buildingModelNames[NUMBUILDINGMODELS] = {
    "depot",      "waterwell",      "watermill",      "grainfarm",      "dairyfarm",      "bakery",
    "sawmill",    "oremine",        "smelter",        "smithy",         "cage",           "jailbreak",
    "bridge",     "brconstruction", "dkconstruction", "streetstraight", "streetright",    "streetleft",
    "plaza",      "plconstruction", "ssconstruction", "slconstruction", "srconstruction", "faconstruction",
    "singledeck", "doubledeck",     "trippledeck",    "storage",        "stargate",
};

// Model scales in tile widths.
constexpr float c_treeScale = 1.9f;
constexpr float c_itemScale = 0.7f;
constexpr float c_buildingScale = 0.5f;
constexpr float c_crownScale = 1.6f;
constexpr float c_pileSpread = 0.4f;

int ItemModelForName(const char* name) {
  if (!name || !*name) return -1;
  for (int m = 0; m < NUMITEMMODELS; ++m)
    if (strstr(name, itemModelNames[m])) return m;
  return -1;
}

int BuildingModelForName(const char* name) {
  if (!name || !*name) return -1;
  for (int m = 0; m < NUMBUILDINGMODELS; ++m) {
    const size_t n = strlen(buildingModelNames[m]);
    if (!strncmp(name, buildingModelNames[m], n)) return m;
  }
  return -1;
}

// A gem's swell over one pulse: from 47 up to 132.3 at the middle of the turn and back down.
static const float gemPulse[256] = {
    47.0f,  47.6f,  48.1f,  49.2f,  50.3f,  51.4f,  52.5f,  53.6f,  54.7f,  55.8f,  56.8f,  57.9f,  59.0f,  60.0f,
    61.1f,  62.2f,  63.2f,  64.3f,  65.3f,  66.4f,  67.4f,  68.4f,  69.5f,  70.5f,  71.5f,  72.5f,  73.5f,  74.5f,
    75.5f,  76.5f,  77.5f,  78.4f,  79.4f,  80.4f,  81.3f,  82.3f,  83.2f,  84.2f,  85.1f,  86.0f,  87.0f,  87.9f,
    88.8f,  89.7f,  90.6f,  91.5f,  92.4f,  93.2f,  94.1f,  95.0f,  95.8f,  96.6f,  97.5f,  98.3f,  99.1f,  99.9f,
    100.8f, 101.5f, 102.3f, 103.1f, 103.9f, 104.7f, 105.4f, 106.2f, 106.9f, 107.6f, 108.4f, 109.1f, 109.8f, 110.5f,
    111.1f, 111.8f, 112.5f, 113.1f, 113.8f, 114.4f, 115.1f, 115.7f, 116.3f, 116.9f, 117.5f, 118.1f, 118.6f, 119.2f,
    119.7f, 120.3f, 120.8f, 121.3f, 121.8f, 122.3f, 122.8f, 123.3f, 123.7f, 124.2f, 124.6f, 125.1f, 125.5f, 125.9f,
    126.3f, 126.7f, 127.0f, 127.4f, 127.7f, 128.1f, 128.4f, 128.7f, 129.0f, 129.3f, 129.6f, 129.8f, 130.1f, 130.3f,
    130.5f, 130.7f, 130.9f, 131.1f, 131.3f, 131.5f, 131.6f, 131.7f, 131.9f, 132.0f, 132.0f, 132.1f, 132.2f, 132.2f,
    132.3f, 132.3f, 132.3f, 132.3f, 132.3f, 132.2f, 132.1f, 132.0f, 131.9f, 131.8f, 131.6f, 131.4f, 131.2f, 131.0f,
    130.8f, 130.5f, 130.3f, 130.0f, 129.7f, 129.3f, 129.0f, 128.6f, 128.3f, 127.9f, 127.4f, 127.0f, 126.6f, 126.1f,
    125.6f, 125.2f, 124.7f, 124.1f, 123.6f, 123.1f, 122.5f, 121.9f, 121.3f, 120.7f, 120.1f, 119.5f, 118.9f, 118.2f,
    117.6f, 116.9f, 116.2f, 115.5f, 114.8f, 114.1f, 113.4f, 112.7f, 111.9f, 111.2f, 110.4f, 109.6f, 108.9f, 108.1f,
    107.3f, 106.5f, 105.7f, 104.9f, 104.1f, 103.2f, 102.4f, 101.6f, 100.7f, 99.9f,  99.0f,  98.2f,  97.3f,  96.5f,
    95.6f,  94.7f,  93.9f,  93.0f,  92.1f,  91.2f,  90.3f,  89.5f,  88.6f,  87.7f,  86.8f,  85.9f,  85.0f,  84.1f,
    83.2f,  82.3f,  81.4f,  80.6f,  79.7f,  78.8f,  77.9f,  77.0f,  76.1f,  75.2f,  74.4f,  73.5f,  72.6f,  71.8f,
    70.9f,  70.0f,  69.2f,  68.3f,  67.5f,  66.7f,  65.8f,  65.0f,  64.2f,  63.4f,  62.6f,  61.8f,  61.0f,  60.2f,
    59.4f,  58.6f,  57.9f,  57.1f,  56.4f,  55.6f,  54.9f,  54.2f,  53.5f,  52.8f,  52.1f,  51.4f,  50.8f,  50.1f,
    49.5f,  48.8f,  48.2f,  47.6f,
};

float GemPulseFactor(float phase) {
  float p = phase;
  if (!(p >= 0.0f)) p = 0.0f;
  if (p > 1.0f) p = 1.0f;
  return 0.9f + 0.0015f * gemPulse[static_cast<int>(p * 255.999f)];
}

// The offset of a pile index within the table; stacks taller than the table wrap around onto
// the first places instead of reading past its end (a tall stack is legal, so no assertion).
static PileOffset PileAt(int index) {
  if (index < 0) index = 0;
  return pileOffsets[index % NUMPILEOFFSETS];
}

static Matrix44 UniformScale(float s) { return Matrix44::Scale(Vec3{s, s, s}); }

// The tile frame moved to pile place index, in the tile's plane.
static Matrix44 PileFrame(const Matrix44& tile, int index, float hexw) {
  const PileOffset p = PileAt(index);
  return tile * Matrix44::Translation(Vec3{p.x * c_pileSpread * hexw, p.y * c_pileSpread * hexw, 0.0f});
}

int TreeInstancesFill(const Wld& world, int kind, Matrix44* out, int capacity) {
  const Trees& trees = world.trees;
  const Globe& globe = world.globe;
  if (kind < 0 || kind >= NUMTREEKINDS || !out || capacity <= 0 || !trees.m_density[kind] || !globe.m_trfs) return 0;
  const int count = trees.m_count[kind];
  if (count <= 0) return 0;
  if (count > capacity) LOGE("Cannot draw %d trees(tp%d), max=%d", count, kind, capacity);
  const int tiles = trees.m_sz < globe.m_sz ? trees.m_sz : globe.m_sz;
  const float hexw = globe.m_hexw;
  const Matrix44 scale = UniformScale(c_treeScale * hexw);
  int written = 0;
  for (int t = 0; t < tiles && written < capacity; ++t) {
    const int n = trees.m_density[kind][t];
    if (n <= 0) continue;
    int base = 0;
    for (int k = 0; k < kind; ++k) base += trees.m_density[k] ? trees.m_density[k][t] : 0;
    for (int j = 0; j < n && written < capacity; ++j)
      out[written++] = PileFrame(globe.m_trfs[t], base + j, hexw) * scale;
  }
  return written;
}

// Copies at most capacity ready-made transforms.
static int CopyTransforms(const Matrix44* trfs, int count, Matrix44* out, int capacity) {
  if (!trfs || !out || count <= 0 || capacity <= 0) return 0;
  const int n = count < capacity ? count : capacity;
  memcpy(static_cast<void*>(out), trfs, sizeof(Matrix44) * static_cast<size_t>(n));
  return n;
}

int RockInstancesFill(const Wld& world, int kind, Matrix44* out, int capacity) {
  if (kind < 0 || kind >= NUMROCKKINDS) return 0;
  return CopyTransforms(world.rocks.m_trfs[kind], world.rocks.m_counts[kind], out, capacity);
}

int MineralInstancesFill(const Wld& world, int kind, Matrix44* out, int capacity) {
  if (kind < 0 || kind >= NUMMINERALS) return 0;
  return CopyTransforms(world.minerals.m_trfs[kind], world.minerals.m_counts[kind], out, capacity);
}

int CrownInstancesFill(const Wld& world, const Matrix44* attachFrames, Matrix44* out, int capacity) {
  const Actors& actors = world.actors;
  if (!out || capacity <= 0) return 0;
  const Matrix44 scale = UniformScale(c_crownScale * world.globe.m_hexw);
  const int count = actors.m_cnt < MAXACTORS ? actors.m_cnt : MAXACTORS;
  int written = 0;
  for (int n = 0; n < count && written < capacity; ++n) {
    if (!(actors.m_stat[n] & (ST_CROWNED | 0x800))) continue;
    const Matrix44 attach = attachFrames ? attachFrames[n] : Matrix44{};
    out[written++] = actors.m_trfs[n] * attach * scale;
  }
  return written;
}

// The player's path when it has something left to show: its length, else 0.
static int ShownPath(const Wld& world, int* player) {
  const Actors& actors = world.actors;
  const int p = actors.FindPlayer();
  *player = p;
  if (p < 0 || !world.globe.m_trfs) return 0;
  int length = actors.m_pasz[p];
  if (length > c_tilePathLimit) length = c_tilePathLimit;
  if (length < 1 || actors.m_pathStage[p] >= length) return 0;
  return length;
}

int PathArrowInstancesFill(const Wld& world, Matrix44* out, int capacity) {
  int player = -1;
  const int length = ShownPath(world, &player);
  if (length < 2 || !out || capacity <= 0) return 0;
  const Globe& globe = world.globe;
  const Actors& actors = world.actors;
  const float hexw = globe.m_hexw;
  const Matrix44 walked = UniformScale(0.25f * hexw), ahead = UniformScale(0.5f * hexw);
  int written = 0;
  for (int k = 1; k < length && written < capacity; ++k) {
    const int from = actors.m_ploc[player][k - 1], to = actors.m_ploc[player][k];
    if (!globe.IsValid(from) || !globe.IsValid(to)) continue;
    const Matrix44& frame = globe.m_trfs[from];
    const Vec3 step = Normalize(globe.m_nodes[to].centre) - Normalize(globe.m_nodes[from].centre);
    Matrix44 m = Matrix44::AlignZX(Normalize(step), frame.GetZAxis());
    m.SetTranslation(globe.m_nodes[from].centre);
    out[written++] = m * (k - 1 < actors.m_pathStage[player] ? walked : ahead);
  }
  return written;
}

int PathTargetInstanceFill(const Wld& world, Matrix44* out) {
  int player = -1;
  const int length = ShownPath(world, &player);
  if (length < 1 || !out) return 0;
  const int tile = world.actors.m_ploc[player][length - 1];
  if (!world.globe.IsValid(tile)) return 0;
  out[0] = world.globe.m_trfs[tile] * UniformScale(0.5f * world.globe.m_hexw);
  return 1;
}

int BridgeMarkerInstancesFill(const Wld& world, Matrix44* out, int capacity) {
  const Globe& globe = world.globe;
  const Actors& actors = world.actors;
  const int player = actors.FindPlayer();
  if (player < 0 || !out || capacity <= 0 || !globe.m_trfs) return 0;
  if (world.items.FindCarried("bridgemarker", player) < 0) return 0;
  const int home = actors.m_loca[player];
  if (!globe.IsValid(home)) return 0;
  const int cont = globe.m_nodes[home].continent;
  if (cont >= globe.m_numcontinents || cont >= MAXCONTINENTS || !globe.m_continents[cont]) return 0;
  const float hexw = globe.m_hexw;
  const Vec3 centre = globe.m_nodes[home].centre;
  const float reach2 = (4.0f * hexw) * (4.0f * hexw);
  int written = 0;
  for (int i = 0; i < globe.m_contsizes[cont] && written < capacity; ++i) {
    const int t = globe.m_continents[cont][i];
    if (!globe.IsValid(t) || !(globe.Attribs(t) & AT_COAST)) continue;
    if ((globe.m_nodes[t].centre - centre).LengthSquared() > reach2) continue;
    const int s = globe.BridgeStart(t);
    if (!globe.IsValid(s)) continue;
    const Vec3 a = globe.m_nodes[t].centre, b = globe.m_nodes[s].centre;
    Matrix44 m = Matrix44::AlignZX(Normalize(b - a), globe.m_trfs[t].GetZAxis());
    m.SetTranslation((a + b) * 0.5f);
    out[written++] = m * UniformScale((t == home ? 1.1f : 0.55f) * hexw);
  }
  return written;
}

ModelInstanceSort::ModelInstanceSort() {
  for (int r = 0; r < NUMITEMTYPES; ++r) m_typeModel[r] = ItemModelForName(itemTypes[r].name);
  m_items = new Matrix44[MAXITEMS];
  m_glowing = new Matrix44[MAXITEMS];
  m_buildings = new Matrix44[MAXBUILDINGS];
  memset(m_itemStart, 0, sizeof(m_itemStart));
  memset(m_glowStart, 0, sizeof(m_glowStart));
  memset(m_buildingStart, 0, sizeof(m_buildingStart));
}

ModelInstanceSort::~ModelInstanceSort() {
  delete[] m_tileStack;
  delete[] m_items;
  delete[] m_glowing;
  delete[] m_buildings;
}

bool ModelInstanceSort::Resize(int tiles) {
  if (tiles == m_tiles && m_tileStack) return true;
  delete[] m_tileStack;
  m_tileStack = nullptr;
  m_tiles = 0;
  if (tiles <= 0) return false;
  m_tileStack = new (std::nothrow) int32_t[tiles]();
  if (!m_tileStack) {
    LOGE("No memory for the item piles of %d tiles.", tiles);
    return false;
  }
  m_tiles = tiles;
  return true;
}

int ModelInstanceSort::ItemModelOf(const Wld& world, int slot) {
  const int type = world.items.m_type[slot];
  if (type >= 0 && type < NUMITEMTYPES) return m_typeModel[type];
  // Items without a row of the type table (water, grain, crown...) are looked up by name once.
  const FixedString& name = world.items.m_name[slot];
  for (int k = 0; k < m_nameModelCount; ++k)
    if (name.Equals(m_nameModels[k].name)) return m_nameModels[k].model;
  const int model = ItemModelForName(name.c_str());
  if (m_nameModelCount < 32 && name.Length() < 32) {
    NameModel& entry = m_nameModels[m_nameModelCount++];
    memcpy(entry.name, name.c_str(), static_cast<size_t>(name.Length()) + 1);
    entry.model = model;
  }
  return model;
}

void ModelInstanceSort::FillItems(const Wld& world) {
  memset(m_itemStart, 0, sizeof(m_itemStart));
  memset(m_glowStart, 0, sizeof(m_glowStart));
  const Items& items = world.items;
  const Globe& globe = world.globe;
  const int count = items.m_cnt < MAXITEMS ? items.m_cnt : MAXITEMS;
  const int tiles = globe.m_sz < m_tiles ? globe.m_sz : m_tiles;
  if (!globe.m_trfs || tiles <= 0) return;
  // Pass 1: each item's model, and how many each model gets.
  for (int i = 0; i < count; ++i) {
    m_itemModel[i] = -1;
    if (items.m_name[i].Empty()) continue;
    const int loc = items.m_loca[i];
    if (loc < 0 || loc >= tiles) {
      ASSERTT(loc != -1, "loc!=-1");
      continue;
    }
    const int carrier = items.m_carr[i];
    if (carrier != -1 && !world.actors.IsValid(carrier)) continue;
    const int model = ItemModelOf(world, i);
    if (model < 0) continue;
    m_itemModel[i] = static_cast<int16_t>(model);
    ++m_itemStart[model + 1];
    if (items.m_stat[i] & IS_GLOWING) ++m_glowStart[model + 1];
  }
  for (int m = 0; m < NUMITEMMODELS; ++m) {
    m_itemStart[m + 1] += m_itemStart[m];
    m_glowStart[m + 1] += m_glowStart[m];
  }
  // Pass 2: place them; the starts move up as each run fills and are moved back after.
  const float hexw = globe.m_hexw;
  const Matrix44 itemScale = UniformScale(c_itemScale * hexw);
  const Matrix44 lift = Matrix44::Translation(Vec3{0.0f, 0.0f, 1.0f});
  for (int i = 0; i < count; ++i) {
    const int model = m_itemModel[i];
    if (model < 0) continue;
    const int loc = items.m_loca[i];
    Matrix44 m;
    if (items.m_carr[i] == -1) {
      // Ground items stand behind the tile's trees in one pile, in slot order.
      int pile = m_tileStack[loc]++;
      for (int k = 0; k < NUMTREEKINDS; ++k)
        if (world.trees.m_density[k] && loc < world.trees.m_sz) pile += world.trees.m_density[k][loc];
      float scale = c_itemScale * hexw;
      if (items.m_stat[i] & IS_GEM) scale *= GemPulseFactor(items.m_tphs[i]);
      m = PileFrame(globe.m_trfs[loc], pile, hexw) * UniformScale(scale);
    } else {
      m = world.actors.m_trfs[items.m_carr[i]] * itemScale * lift;
    }
    m_items[m_itemStart[model]++] = m;
    if (items.m_stat[i] & IS_GLOWING) m_glowing[m_glowStart[model]++] = m;
  }
  for (int m = NUMITEMMODELS; m > 0; --m) {
    m_itemStart[m] = m_itemStart[m - 1];
    m_glowStart[m] = m_glowStart[m - 1];
  }
  m_itemStart[0] = m_glowStart[0] = 0;
  // Only the tiles that items touched were counted: clear just those.
  for (int i = 0; i < count; ++i)
    if (m_itemModel[i] >= 0) m_tileStack[items.m_loca[i]] = 0;
}

void ModelInstanceSort::FillBuildings(const Wld& world) {
  memset(m_buildingStart, 0, sizeof(m_buildingStart));
  const Buildings& buildings = world.buildings;
  const int count = buildings.m_cnt < MAXBUILDINGS ? buildings.m_cnt : MAXBUILDINGS;
  const Matrix44 scale = UniformScale(c_buildingScale * world.globe.m_hexw);
  // Building names come from a short list; remember the last name's model, since buildings of
  // one kind tend to follow each other (street pieces, decks).
  const char* lastName = nullptr;
  int lastModel = -1;
  for (int b = 0; b < count; ++b) {
    m_buildingModel[b] = -1;
    if (buildings.m_name[b].Empty()) continue;
    const char* name = buildings.m_name[b].c_str();
    if (!lastName || strcmp(name, lastName)) lastName = name, lastModel = BuildingModelForName(name);
    if (lastModel < 0) continue;
    m_buildingModel[b] = static_cast<int16_t>(lastModel);
    ++m_buildingStart[lastModel + 1];
  }
  for (int m = 0; m < NUMBUILDINGMODELS; ++m) m_buildingStart[m + 1] += m_buildingStart[m];
  for (int b = 0; b < count; ++b) {
    const int model = m_buildingModel[b];
    if (model >= 0) m_buildings[m_buildingStart[model]++] = buildings.m_trfs[b] * scale;
  }
  for (int m = NUMBUILDINGMODELS; m > 0; --m) m_buildingStart[m] = m_buildingStart[m - 1];
  m_buildingStart[0] = 0;
}

const Matrix44* ModelInstanceSort::ItemRun(int model, int* count) const {
  *count = 0;
  if (model < 0 || model >= NUMITEMMODELS) return nullptr;
  *count = m_itemStart[model + 1] - m_itemStart[model];
  return m_items + m_itemStart[model];
}

const Matrix44* ModelInstanceSort::GlowingRun(int model, int* count) const {
  *count = 0;
  if (model < 0 || model >= NUMITEMMODELS) return nullptr;
  *count = m_glowStart[model + 1] - m_glowStart[model];
  return m_glowing + m_glowStart[model];
}

const Matrix44* ModelInstanceSort::BuildingRun(int model, int* count) const {
  *count = 0;
  if (model < 0 || model >= NUMBUILDINGMODELS) return nullptr;
  *count = m_buildingStart[model + 1] - m_buildingStart[model];
  return m_buildings + m_buildingStart[model];
}

bool AttachFrameCompute(const float* md2Vertices, int vertexCount, int frameCount, int frame, float weight, float scale,
                        Matrix44* out) {
  if (!md2Vertices || vertexCount < c_attachMinVertices || frame < 0 || frame >= frameCount) return false;
  Vec3 points[3][2];
  Vec3 sum;
  for (int pair = 0; pair < 3; ++pair) {
    for (int k = 0; k < 2; ++k) {
      const float* v = md2Vertices + (static_cast<int64_t>(frame) * vertexCount + c_attachVertices[pair][k]) * 8;
      const Vec3 a{v[0], v[1], v[2]}, b{v[3], v[4], v[5]};
      points[pair][k] = a * (1.0f - weight) + b * weight;
      sum += points[pair][k];
    }
  }
  const Vec3 z = Normalize(points[2][0] - points[2][1]);
  const Vec3 y = Normalize(points[1][0] - points[1][1]);
  if (z.LengthSquared() <= 0.0f || y.LengthSquared() <= 0.0f) return false;
  *out = Matrix44::AlignZY(y, z);
  out->SetAxis(3, sum * (scale / 6.0f));
  return true;
}

FrameInstances::FrameInstances() {
  int total = 0;
  for (int k = 0; k < NUMTREEKINDS; ++k) total += c_treeInstanceLimit[k];
  m_treeBlock = new Matrix44[total];
  for (int k = 0, at = 0; k < NUMTREEKINDS; at += c_treeInstanceLimit[k], ++k) m_trees[k] = m_treeBlock + at;
  m_allCrowns = new Matrix44[MAXITEMS];
}

FrameInstances::~FrameInstances() {
  delete[] m_treeBlock;
  delete[] m_allCrowns;
}

void FrameInstances::Fill(const Wld& world, const Matrix44* attachFrames) {
  for (int k = 0; k < NUMTREEKINDS; ++k)
    m_treeCount[k] = TreeInstancesFill(world, k, m_trees[k], c_treeInstanceLimit[k]);
  m_sort.FillItems(world);
  m_sort.FillBuildings(world);
  m_arrowCount = PathArrowInstancesFill(world, m_arrows, c_annotationInstanceLimit);
  m_targetCount = PathTargetInstanceFill(world, &m_target);
  m_bridgeCount = BridgeMarkerInstancesFill(world, m_bridge, c_bridgeMarkerLimit);
  m_crownCount = CrownInstancesFill(world, attachFrames, m_crowns, c_annotationInstanceLimit);
  int lying = 0;
  const Matrix44* items = m_sort.ItemRun(c_crownItemModel, &lying);
  if (lying > MAXITEMS) lying = MAXITEMS;
  memcpy(static_cast<void*>(m_allCrowns), items, sizeof(Matrix44) * static_cast<size_t>(lying));
  const int worn = m_crownCount < MAXITEMS - lying ? m_crownCount : MAXITEMS - lying;
  memcpy(static_cast<void*>(m_allCrowns + lying), m_crowns, sizeof(Matrix44) * static_cast<size_t>(worn));
  m_allCrownCount = lying + worn;
}

const Matrix44* FrameInstances::Trees(int kind, int* count) const {
  *count = 0;
  if (kind < 0 || kind >= NUMTREEKINDS) return nullptr;
  *count = m_treeCount[kind];
  return m_trees[kind];
}

// Rocks: generation of the formations, quarrying, and the per-kind transforms the drawing copies.
#include "world/parts/rocks.h"

#include <cstdio>
#include <cstring>

#include "utility/log.h"
#include "utility/simplex_noise.h"
#include "world/parts/trees.h"
#include "world/planet/globe.h"
#include "world/wld.h"

const char* const rockKindNames[NUMROCKKINDS] = {"rock0", "rock1", "rock2", "rock3", "rock4",
                                                 "rock5", "rock6", "rock7", "rock8", "rock9"};

Rocks::Rocks(Wld* wld) : m_wld(wld) {}

Rocks::~Rocks() { CleanUp(); }

void Rocks::CleanUp() {
  int total = 0;
  for (int k = 0; k < NUMROCKKINDS; ++k) {
    total += m_counts[k];
    m_counts[k] = 0;
    delete[] m_trfs[k];
    m_trfs[k] = nullptr;
  }
  delete[] m_formations;
  m_formations = nullptr;
  m_sz = 0;
  LOGI("Cleaned up %d rocks.", total);
}

void Rocks::Generate(int variant) {
  const Globe& globe = m_wld->globe;
  delete[] m_formations;
  m_formations = nullptr;
  m_sz = 0;
  for (int k = 0; k < NUMROCKKINDS; ++k) m_counts[k] = 0;
  if (globe.m_sz <= 0) {
    LOGE("Cannot place rocks on a globe of %d tiles.", globe.m_sz);
    SetTransforms();
    return;
  }
  m_sz = globe.m_sz;
  m_formations = new int8_t[m_sz][ROCKSLOTS];
  memset(m_formations, -1, sizeof(m_formations[0]) * m_sz);
  const float v = static_cast<float>(variant);
  const Trees& trees = m_wld->trees;
  for (int t = 0; t < m_sz; ++t) {
    const GridNode& node = globe.m_nodes[t];
    if (node.type != 2 && node.type != 3) continue;
    const int standing = trees.IsBlocked(t, -1);
    const float n = SimplexNoiseOctaves(v - 5.1f + node.centre.x, v - 0.8f + node.centre.y, 12.01f - v + node.centre.z);
    if (!(n > 0.3f)) continue;
    int pieces = static_cast<int>((n - 0.3f) * 24.0f);
    if (pieces > ROCKSLOTS - standing) pieces = ROCKSLOTS - standing;
    if (pieces < 0) pieces = 0;
    for (int s = 0; s < pieces; ++s) {
      const uint32_t kind = (117u * static_cast<uint32_t>(t) + 117u * static_cast<uint32_t>(s)) % NUMROCKKINDS;
      m_formations[t][s] = static_cast<int8_t>(kind);
      m_counts[kind] += 1;
    }
  }
  SetTransforms();
  int total = 0;
  for (int k = 0; k < NUMROCKKINDS; ++k) total += m_counts[k];
  LOGI("Generated %d rock pieces.", total);
}

int Rocks::IsBlocked(int tile, int kind) const {
  if (!m_formations) return 0;
  ASSERTM_OR_RETURN(tile >= 0 && tile < m_sz, 0, "tile %d outside 0..%d", tile, m_sz - 1);
  const int8_t* slots = m_formations[tile];
  int n = 0;
  for (int s = 0; s < ROCKSLOTS; ++s) n += (slots[s] >= 0 && (kind == -1 || slots[s] == kind)) ? 1 : 0;
  return n;
}

int Rocks::FirstSlot(int tile) const {
  if (!m_formations || tile < 0 || tile >= m_sz) return -1;
  for (int s = 0; s < ROCKSLOTS; ++s)
    if (m_formations[tile][s] >= 0) return s;
  return -1;
}

int Rocks::Quarry(int tile, int slot) {
  if (!m_formations || tile < 0 || tile >= m_sz || slot < 0 || slot >= ROCKSLOTS) {
    LOGE("Cannot quarry slot %d of tile %d.", slot, tile);
    return -1;
  }
  const int kind = m_formations[tile][slot];
  if (kind < 0 || kind >= NUMROCKKINDS) {
    LOGE("Cannot quarry slot %d of tile %d: no rock there.", slot, tile);
    return -1;
  }
  m_formations[tile][slot] = -1;
  m_counts[kind] -= 1;
  SetTransforms();
  if (IsBlocked(tile, -1) == 0) {
    Globe& globe = m_wld->globe;
    globe.AttribsClear(tile, AT_ROCKY);
    if (globe.Attribs(tile) & AT_ROCKYBLOCK) {
      globe.AttribsClear(tile, AT_ROCKYBLOCK);
      globe.ClaimOpen(tile);
      LOGI("Tile %d no longer blocked by rocks.", tile);
    }
  }
  m_wld->PostStat("s_rocksquarried", 1, false);
  return kind;
}

void Rocks::SetTransforms() {
  int made[NUMROCKKINDS] = {};
  for (int k = 0; k < NUMROCKKINDS; ++k) {
    delete[] m_trfs[k];
    m_trfs[k] = m_counts[k] > 0 ? new Matrix44[m_counts[k]] : nullptr;
  }
  if (m_formations) {
    const Globe& globe = m_wld->globe;
    const Trees& trees = m_wld->trees;
    const float hexw = globe.m_hexw;
    const Matrix44 scale = Matrix44::Scale(Vec3{0.75f * hexw, 0.75f * hexw, 0.75f * hexw});
    const int sz = m_sz < globe.m_sz ? m_sz : globe.m_sz;
    // One pass over the tiles fills all ten arrays; each stays in tile and slot order.
    for (int t = 0; t < sz; ++t) {
      const int8_t* slots = m_formations[t];
      int standing = -1;
      for (int s = 0; s < ROCKSLOTS; ++s) {
        const int k = slots[s];
        if (k < 0 || k >= NUMROCKKINDS) continue;
        if (standing < 0) standing = trees.IsBlocked(t, -1);
        if (made[k] < m_counts[k]) {
          // The standing trees take the first places of the pile; the pieces lie behind them.
          const PileOffset p = PileOffsetAt(standing + s);
          m_trfs[k][made[k]] =
              globe.m_trfs[t] * Matrix44::Translation(Vec3{p.x * 0.5f * hexw, p.y * 0.5f * hexw, 0.0f}) * scale;
        }
        ++made[k];
      }
    }
  }
  for (int t = 0; t < NUMROCKKINDS; ++t) {
    const int numtrfs = made[t];
    ASSERTT(numtrfs == m_counts[t], "numtrfs==m_counts[t]");
  }
}

int Rocks::WriteScene(FileHandle file, int kind, const char* kindName) const {
  if (kind < 0 || kind >= NUMROCKKINDS || !m_trfs[kind]) return 0;
  char line[1024];
  for (int i = 0; i < m_counts[kind]; ++i) {
    const Matrix44& m = m_trfs[kind][i];
    const int len = snprintf(line, sizeof(line),
                             "      <node><matrix>%f %f %f %f %f %f %f %f %f %f %f %f %f %f %f "
                             "%f</matrix><instance_node url=\"rocks.dae#%s\" /></node>\n",
                             m.m[0], m.m[4], m.m[8], m.m[12], m.m[1], m.m[5], m.m[9], m.m[13], m.m[2], m.m[6], m.m[10],
                             m.m[14], m.m[3], m.m[7], m.m[11], m.m[15], kindName);
    if (len > 0) FileWrite(file, line, static_cast<size_t>(len));
  }
  return m_counts[kind];
}

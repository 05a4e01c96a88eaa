// Minerals: placing the deposits from noise and building their field transforms.
#include "world/parts/minerals.h"

#include "utility/log.h"
#include "utility/simplex_noise.h"
#include "world/planet/globe.h"
#include "world/wld.h"

Minerals::Minerals(Wld* wld) : m_wld(wld) {}

Minerals::~Minerals() {
  for (int k = 0; k < NUMMINERALS; ++k) {
    delete[] m_deposits[k];
    m_deposits[k] = nullptr;
    delete[] m_trfs[k];
    m_trfs[k] = nullptr;
  }
}

bool Minerals::Generate(int kind, int seed) {
  if (kind < 0 || kind >= NUMMINERALS) {
    LOGE("Cannot place minerals of unknown kind %d.", kind);
    return false;
  }
  const Globe& globe = m_wld->globe;
  const int sz = globe.m_sz;
  if (sz <= 0) {
    LOGE("Cannot place minerals on a globe of %d tiles.", sz);
    return false;
  }
  // Every kind's map has the globe's size; a map made for another size is dropped first.
  if (m_sz != sz) {
    for (int k = 0; k < NUMMINERALS; ++k) {
      delete[] m_deposits[k];
      m_deposits[k] = nullptr;
      delete[] m_trfs[k];
      m_trfs[k] = nullptr;
      m_counts[k] = 0;
    }
    m_sz = sz;
  }
  delete[] m_deposits[kind];
  m_deposits[kind] = new int32_t[sz]();
  m_counts[kind] = 0;
  const float v = static_cast<float>(seed);
  for (int t = 0; t < sz; ++t) {
    const GridNode& node = globe.m_nodes[t];
    if (node.type != 2 && node.type != 3) continue;
    const float n =
        SimplexNoiseOctaves((9.34f - v) + node.centre.x, (7.4f - v) + node.centre.y, (v - 8.22f) + node.centre.z);
    if (n > 0.6f) {
      m_deposits[kind][t] = 1;
      m_counts[kind] += 1;
    }
  }
  SetTransforms(kind);
  LOGI("Placed %d deposits of mineral %d.", m_counts[kind], kind);
  return true;
}

void Minerals::SetTransforms(int kind) {
  if (kind < 0 || kind >= NUMMINERALS) {
    LOGE("Cannot place minerals of unknown kind %d.", kind);
    return;
  }
  const int tp = kind;
  const Globe& globe = m_wld->globe;
  const float h = 0.5f * globe.m_hexw;
  const Matrix44 s = Matrix44::Scale(Vec3{h, h, h});
  delete[] m_trfs[tp];
  m_trfs[tp] = m_counts[tp] > 0 ? new Matrix44[m_counts[tp]] : nullptr;
  int numtrfs = 0;
  const int sz = m_sz < globe.m_sz ? m_sz : globe.m_sz;
  if (m_deposits[tp]) {
    for (int t = 0; t < sz; ++t) {
      if (m_deposits[tp][t] <= 0) continue;
      if (numtrfs < m_counts[tp]) m_trfs[tp][numtrfs] = globe.m_trfs[t] * s;
      ++numtrfs;
    }
  }
  ASSERTT(numtrfs == m_counts[tp], "numtrfs==m_counts[tp]");
}

int Minerals::HasDeposit(int tile, int kind) const {
  if (kind < 0 || kind >= NUMMINERALS || !m_deposits[kind] || tile < 0 || tile >= m_sz) return 0;
  return m_deposits[kind][tile] > 0 ? 1 : 0;
}

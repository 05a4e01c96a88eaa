// Trees: forest generation, felling, planting, seedling growth, the fruit pass, groves and the pile offsets.
#include "world/parts/trees.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "utility/log.h"
#include "utility/matrix44.h"
#include "utility/simplex_noise.h"
#include "world/parts/items.h"
#include "world/planet/globe.h"
#include "world/wld.h"

const char* const treeKindNames[NUMTREEKINDS] = {"stmp", "pine", "mapl", "appl", "seed"};

namespace {

constexpr double RadicalInverse(int index, int base) {
  double inv = 1.0 / base, f = inv, r = 0.0;
  while (index > 0) {
    r += f * (index % base);
    index /= base;
    f *= inv;
  }
  return r;
}

// Halton points (base 2 for x, base 3 for y, counted from 1, mapped to [-1, 1]) that fall on the
// tile: inside the unit circle and strictly between the flat top and bottom edges at sqrt(3)/2.
constexpr std::array<PileOffset, NUMPILEOFFSETS> MakePileOffsets() {
  std::array<PileOffset, NUMPILEOFFSETS> table{};
  int kept = 0;
  for (int i = 1; kept < NUMPILEOFFSETS; ++i) {
    const double x = 2.0 * RadicalInverse(i, 2) - 1.0;
    const double y = 2.0 * RadicalInverse(i, 3) - 1.0;
    if (y * y >= 0.75 || x * x + y * y > 1.0) continue;
    table[kept++] = PileOffset{static_cast<float>(x), static_cast<float>(y)};
  }
  return table;
}

constexpr std::array<PileOffset, NUMPILEOFFSETS> c_pileOffsets = MakePileOffsets();

constexpr uint64_t c_fruitSeed0 = 0x0123456789abcdefull;
constexpr uint64_t c_fruitSeed1 = 0x5555555555555555ull;

// Eight lanes in an AVX register, so the per-step pass over every tile runs eight tiles at a time.
// The game starts only on a processor with AVX, so the pass is compiled for it whatever the
// rest of the build targets; the additions are the same IEEE single additions either way.
typedef float V8f __attribute__((vector_size(32)));
typedef int32_t V8i __attribute__((vector_size(32)));

// Ages tiles from..to-1 by dt; nonzero when one of them holds a seedling now older than 30 s.
__attribute__((target("avx"))) int AgeTiles(float* ages, const int32_t* seeds, int from, int to, float dt) {
  const V8f dt8 = {dt, dt, dt, dt, dt, dt, dt, dt};
  const V8f grown = {30.0f, 30.0f, 30.0f, 30.0f, 30.0f, 30.0f, 30.0f, 30.0f};
  const V8f none = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  V8i due8 = {0, 0, 0, 0, 0, 0, 0, 0};
  int t = from;
  for (; t + 8 <= to; t += 8) {
    V8f a;
    V8i n;
    memcpy(&a, ages + t, sizeof(a));
    memcpy(&n, seeds + t, sizeof(n));
    a += dt8;
    memcpy(ages + t, &a, sizeof(a));
    // AVX compares floats only: a seedling count converts to a float of the same sign.
    due8 |= (a > grown) & (__builtin_convertvector(n, V8f) > none);
  }
  int due = 0;
  for (int k = 0; k < 8; ++k) due |= due8[k];
  for (; t < to; ++t) {
    ages[t] += dt;
    due |= static_cast<int>(ages[t] > 30.0f) & static_cast<int>(seeds[t] > 0);
  }
  return due;
}

inline uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
inline bool IsLand(uint8_t type) { return type == 2 || type == 3; }

constexpr uint64_t c_siteBits = AT_BRIDGECONSTRUCTION | AT_DECKCONSTRUCTION | AT_FACTCONSTRUCTION | AT_ROADCONSTRUCTION;

}  // namespace

const PileOffset pileOffsets[NUMPILEOFFSETS] = {
#define P(i) c_pileOffsets[i]
#define P8(i) P(i), P(i + 1), P(i + 2), P(i + 3), P(i + 4), P(i + 5), P(i + 6), P(i + 7)
#define P64(i) P8(i), P8(i + 8), P8(i + 16), P8(i + 24), P8(i + 32), P8(i + 40), P8(i + 48), P8(i + 56)
#define P512(i) P64(i), P64(i + 64), P64(i + 128), P64(i + 192), P64(i + 256), P64(i + 320), P64(i + 384), P64(i + 448)
    P512(0), P512(512)
#undef P512
#undef P64
#undef P8
#undef P
};

PileOffset PileOffsetAt(int index) {
  if (index < 0 || index >= NUMPILEOFFSETS) {
    ASSERTM(index >= 0 && index < NUMPILEOFFSETS, "pile index %d outside 0..%d", index, NUMPILEOFFSETS - 1);
    index = ((index % NUMPILEOFFSETS) + NUMPILEOFFSETS) % NUMPILEOFFSETS;
  }
  return pileOffsets[index];
}

FruitRng fruitRng = {c_fruitSeed0, c_fruitSeed1};

uint64_t FruitRngNext() {
  uint64_t s0 = fruitRng.s0, s1 = fruitRng.s1;
  const uint64_t r = s0 + s1;
  s1 ^= s0;
  fruitRng.s0 = Rotl(s0, 55) ^ s1 ^ (s1 << 14);
  fruitRng.s1 = Rotl(s1, 36);
  return r;
}

void FruitRngReset() { fruitRng = FruitRng{c_fruitSeed0, c_fruitSeed1}; }

Trees::Trees(Wld* wld) : m_wld(wld) {}

Trees::~Trees() { CleanUp(); }

void Trees::CleanUp() {
  // 64 bits: the counts of a refused save may each stand at the 32-bit limit.
  int64_t total = 0;
  for (int k = 0; k < NUMTREEKINDS; ++k) {
    total += m_count[k];
    delete[] m_density[k];
    m_density[k] = nullptr;
    m_count[k] = 0;
  }
  delete[] m_grove;
  m_grove = nullptr;
  delete[] m_ages;
  m_ages = nullptr;
  m_sz = 0;
  LOGI("Cleaned up %lld trees.", static_cast<long long>(total));
}

bool Trees::Allocate(int sz) {
  for (int k = 0; k < NUMTREEKINDS; ++k) {
    delete[] m_density[k];
    m_density[k] = nullptr;
    m_count[k] = 0;
  }
  delete[] m_grove;
  delete[] m_ages;
  m_grove = nullptr;
  m_ages = nullptr;
  m_sz = 0;
  if (sz <= 0) {
    LOGE("Cannot grow trees on a globe of %d tiles.", sz);
    return false;
  }
  for (int k = 0; k < NUMTREEKINDS; ++k) m_density[k] = new int32_t[sz]();
  m_grove = new uint8_t[sz]();
  m_ages = new float[sz]();
  m_sz = sz;
  return true;
}

void Trees::Generate(int variant) {
  const Globe& globe = m_wld->globe;
  if (!Allocate(globe.m_sz)) return;
  const float v = static_cast<float>(variant);
  for (int k = 1; k < NUMTREEKINDS - 1; ++k) {
    const float kf = static_cast<float>(k);
    const float ox = kf * (1.7f - v), oy = kf * (v + 3.1f), oz = kf * (7.7f - v);
    int32_t* density = m_density[k];
    for (int t = 0; t < m_sz; ++t) {
      const GridNode& node = globe.m_nodes[t];
      if (!IsLand(node.type)) continue;
      const float n = SimplexNoiseOctaves(ox + node.centre.x, oy + node.centre.y, oz + node.centre.z);
      if (n > 0.4f) {
        density[t] = static_cast<int32_t>((n - 0.4f) * 22.0f);
        m_count[k] += density[t];
      }
    }
  }
  UpdateGroves();
  LOGI("Generated %d pines, %d maples and %d apple trees.", m_count[TK_PINE], m_count[TK_MAPL], m_count[TK_APPL]);
}

int Trees::IsBlocked(int tile, int kind) const {
  if (!m_density[TK_PINE]) return 0;  // no forests yet
  ASSERTM_OR_RETURN(tile >= 0 && tile < m_sz, 0, "tile %d outside 0..%d", tile, m_sz - 1);
  if (kind == -1)
    return m_density[TK_PINE][tile] + m_density[TK_MAPL][tile] + m_density[TK_APPL][tile] + m_density[TK_SEED][tile];
  if (kind >= TK_PINE && kind <= TK_SEED) return m_density[kind][tile];
  return 0;
}

int Trees::CountAt(int tile) const {
  if (!m_density[TK_STMP] || tile < 0 || tile >= m_sz) return 0;
  int n = 0;
  for (int k = 0; k < NUMTREEKINDS; ++k) n += m_density[k][tile];
  return n;
}

int Trees::Fell(int tile, int kind) {
  if (!m_density[0] || tile < 0 || tile >= m_sz || kind < 0 || kind >= NUMTREEKINDS) {
    LOGE("Cannot fell a tree of kind %d on tile %d.", kind, tile);
    return -1;
  }
  if (m_density[kind][tile] < 1) return -1;
  m_density[kind][tile] -= 1;
  m_count[kind] -= 1;
  Globe& globe = m_wld->globe;
  const uint64_t bits = globe.Attribs(tile);
  if (IsBlocked(tile, -1) == 0) {
    globe.AttribsClear(tile, AT_WOODY);
    if (bits & AT_WOODYBLOCK) {
      globe.AttribsClear(tile, AT_WOODYBLOCK);
      globe.ClaimOpen(tile);
      LOGI("Tile %d no longer blocked by trees.", tile);
    }
  }
  // A tree felled to clear a construction site leaves no stump behind.
  if ((bits & c_siteBits) == 0) {
    m_density[TK_STMP][tile] += 1;
    m_count[TK_STMP] += 1;
  }
  m_wld->PostStat("s_treeskilled", 1, false);
  UpdateGroves();
  return m_density[kind][tile];
}

int Trees::Plant(int tile) {
  if (!m_density[0] || tile < 0 || tile >= m_sz) {
    LOGE("Cannot plant a tree on tile %d.", tile);
    return -1;
  }
  if (!IsLand(m_wld->globe.m_nodes[tile].type) || IsBlocked(tile, -1) >= 13) return -1;
  m_density[TK_SEED][tile] += 1;
  m_count[TK_SEED] += 1;
  m_ages[tile] = 0.0f;
  if (m_density[TK_STMP][tile] > 0) {
    m_density[TK_STMP][tile] -= 1;
    m_count[TK_STMP] -= 1;
  }
  UpdateGroves();
  m_wld->PostStat("s_treesplanted", 1, false);
  return tile;
}

void Trees::Update(float dt) {
  if (!m_ages) return;
  const int sz = m_sz;
  float* ages = m_ages;
  const int32_t* seeds = m_density[TK_SEED];
  // Seedlings ready to grow are rare: each block of tiles is advanced and checked eight tiles
  // at a time without branches, and only a block holding a ready seedling is walked tile by tile.
  constexpr int c_block = 256;
  for (int b0 = 0; b0 < sz; b0 += c_block) {
    const int b1 = b0 + c_block < sz ? b0 + c_block : sz;
    if (AgeTiles(ages, seeds, b0, b1, dt)) GrowSeedlings(b0, b1);
  }
  m_timeToFruit -= dt;
  if (m_timeToFruit > 0.0f) return;
  const int draws = sz / 1000;
  if (draws >= 1) {
    Items& items = m_wld->items;
    const int32_t* apples = m_density[TK_APPL];
    bool grown = false;
    for (int i = 0; i < draws; ++i) {
      const int t = static_cast<int>(FruitRngNext() % static_cast<uint64_t>(sz));
      if (apples[t] < 1 || items.CountAt("fruit", t, false) >= 3) continue;
      // A full item table takes no fruit: one refusal ends the pass rather than one per draw.
      if (items.Add("fruit", t, 0) < 0) break;
      grown = true;
    }
    // Fresh fruit can end a hungry character's wait for something to eat.
    if (grown) ++m_wld->m_changes;
  }
  m_timeToFruit = 0.5f;
}

void Trees::GrowSeedlings(int from, int to) {
  int32_t* seeds = m_density[TK_SEED];
  const int32_t* pines = m_density[TK_PINE];
  const int32_t* maples = m_density[TK_MAPL];
  Globe& globe = m_wld->globe;
  for (int t = from; t < to; ++t) {
    if (seeds[t] < 1 || m_ages[t] <= 30.0f) continue;
    m_ages[t] = 0.0f;
    seeds[t] -= 1;
    m_count[TK_SEED] -= 1;
    // Fewer pines than maples gives a maple; a tie or more pines gives a pine.
    const int kind = pines[t] < maples[t] ? TK_MAPL : TK_PINE;
    m_density[kind][t] += 1;
    m_count[kind] += 1;
    // A tile someone holds (a stone cutter's rocky tile, say) stays theirs.
    globe.AttribsSet(t, AT_WOODY);
    globe.ClaimOpen(t);
    // A grown tree is one more to fell.
    ++m_wld->m_changes;
  }
}

void Trees::UpdateGroves() {
  if (!m_grove) return;
  Globe& globe = m_wld->globe;
  const int sz = m_sz < globe.m_sz ? m_sz : globe.m_sz;
  memset(m_grove, 0, m_sz);
  for (int t = 0; t < sz; ++t) {
    const GridNode& node = globe.m_nodes[t];
    bool grove = false;
    if (IsLand(node.type) && (globe.Attribs(t) & AT_URBAN) == 0) {
      const int standing = IsBlocked(t, -1);
      if (standing >= 1 && standing <= 3) {
        grove = true;
      } else if (standing == 0) {
        if (m_density[TK_STMP][t] > 0) grove = true;
        for (int k = 0; k < 6 && !grove; ++k) {
          const int n = node.neighbours[k];
          if (n >= 0 && n < m_sz && IsBlocked(n, -1) >= 4) grove = true;
        }
      }
    }
    m_grove[t] = grove ? 1 : 0;
    // Only a changed bit costs an atomic write.
    const bool marked = (globe.Attribs(t) & AT_GROVE) != 0;
    if (grove && !marked) globe.AttribsSet(t, AT_GROVE);
    if (!grove && marked) globe.AttribsClear(t, AT_GROVE);
  }
}

int Trees::PileIndex(int tile, int kind, int j) const {
  int i = j;
  for (int m = 0; m < kind && m < NUMTREEKINDS; ++m) i += m_density[m][tile];
  return i;
}

int Trees::WriteScene(FileHandle file, int kind, const char* kindName) const {
  if (kind < 0 || kind >= NUMTREEKINDS || !m_density[kind] || m_count[kind] == 0) return 0;
  const Globe& globe = m_wld->globe;
  const float hexw = globe.m_hexw;
  const Matrix44 scale = Matrix44::Scale(Vec3{1.9f * hexw, 1.9f * hexw, 1.9f * hexw});
  int written = 0;
  char line[1024];
  for (int t = 0; t < m_sz && t < globe.m_sz; ++t) {
    for (int j = 0; j < m_density[kind][t]; ++j) {
      const PileOffset p = PileOffsetAt(PileIndex(t, kind, j));
      const Matrix44 m =
          globe.m_trfs[t] * Matrix44::Translation(Vec3{p.x * 0.4f * hexw, p.y * 0.4f * hexw, 0.0f}) * scale;
      const int len = snprintf(line, sizeof(line),
                               "      <node><matrix>%f %f %f %f %f %f %f %f %f %f %f %f %f %f %f "
                               "%f</matrix><instance_node url=\"trees.dae#%s\" /></node>\n",
                               m.m[0], m.m[4], m.m[8], m.m[12], m.m[1], m.m[5], m.m[9], m.m[13], m.m[2], m.m[6],
                               m.m[10], m.m[14], m.m[3], m.m[7], m.m[11], m.m[15], kindName);
      if (len > 0) FileWrite(file, line, static_cast<size_t>(len));
      ++written;
    }
  }
  return written;
}

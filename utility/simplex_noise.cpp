// Simplex noise tables and sampling for planet generation.
// The arithmetic order and the float/double mix are fixed on purpose: generated
// planets must come out bit-identical everywhere.
#include "utility/simplex_noise.h"

#include <atomic>
#include <cmath>
#include <cstdint>

#include "utility/log.h"

namespace {

// The reference permutation of improved Perlin noise.
constexpr int32_t c_perm[256] = {
    151, 160, 137, 91,  90,  15,  131, 13,  201, 95,  96,  53,  194, 233, 7,   225, 140, 36,  103, 30,  69,  142,
    8,   99,  37,  240, 21,  10,  23,  190, 6,   148, 247, 120, 234, 75,  0,   26,  197, 62,  94,  252, 219, 203,
    117, 35,  11,  32,  57,  177, 33,  88,  237, 149, 56,  87,  174, 20,  125, 136, 171, 168, 68,  175, 74,  165,
    71,  134, 139, 48,  27,  166, 77,  146, 158, 231, 83,  111, 229, 122, 60,  211, 133, 230, 220, 105, 92,  41,
    55,  46,  245, 40,  244, 102, 143, 54,  65,  25,  63,  161, 1,   216, 80,  73,  209, 76,  132, 187, 208, 89,
    18,  169, 200, 196, 135, 130, 116, 188, 159, 86,  164, 100, 109, 198, 173, 186, 3,   64,  52,  217, 226, 250,
    124, 123, 5,   202, 38,  147, 118, 126, 255, 82,  85,  212, 207, 206, 59,  227, 47,  16,  58,  17,  182, 189,
    28,  42,  223, 183, 170, 213, 119, 248, 152, 2,   44,  154, 163, 70,  221, 153, 101, 155, 167, 43,  172, 9,
    129, 22,  39,  253, 19,  98,  108, 110, 79,  113, 224, 232, 178, 185, 112, 104, 218, 246, 97,  228, 251, 34,
    242, 193, 238, 210, 144, 12,  191, 179, 162, 241, 81,  51,  145, 235, 249, 14,  239, 107, 49,  192, 214, 31,
    181, 199, 106, 157, 184, 84,  204, 176, 115, 121, 50,  45,  127, 4,   150, 254, 138, 236, 205, 93,  222, 114,
    67,  29,  24,  72,  243, 141, 128, 195, 78,  66,  215, 61,  156, 180};

// A typing slip in the table above would quietly change every planet: check that
// it holds each of 0..255 exactly once.
constexpr bool IsPermutation() {
  bool seen[256] = {};
  for (int32_t v : c_perm) {
    if (v < 0 || v > 255 || seen[v]) return false;
    seen[v] = true;
  }
  return true;
}
static_assert(IsPermutation());

// The twelve edge directions of a cube.
constexpr float c_grad3[12][3] = {{1, 1, 0},  {-1, 1, 0},  {1, -1, 0}, {-1, -1, 0}, {1, 0, 1},  {-1, 0, 1},
                                  {1, 0, -1}, {-1, 0, -1}, {0, 1, 1},  {0, -1, 1},  {0, 1, -1}, {0, -1, -1}};

constexpr double c_f3 = 1.0 / 3.0;
constexpr double c_g3 = 1.0 / 6.0;

// The tables live in static storage; the pointers say whether they are current.
// Sampling only reads them, Init and Exit must not overlap with sampling.
int32_t s_permStore[512];
int32_t s_permMod12Store[512];
const int32_t* s_perm = nullptr;
const int32_t* s_permMod12 = nullptr;

// A bad caller samples in a loop over every tile; report once, not per sample.
std::atomic<bool> s_reportedUnready{false};
std::atomic<bool> s_reportedBadPoint{false};

// Floor for values within int range: truncate, then step down for negatives.
inline int FastFloor(float v) {
  const int t = static_cast<int>(v);
  return static_cast<float>(t) > v ? t - 1 : t;
}

// One corner's contribution.
inline float Corner(int g, float xc, float yc, float zc) {
  const float t = static_cast<float>(0.6 - static_cast<double>(xc * xc) - static_cast<double>(yc * yc) -
                                     static_cast<double>(zc * zc));
  if (t < 0.0f) return 0.0f;
  const float* grad = c_grad3[g];
  return ((grad[1] * yc + grad[0] * xc) + grad[2] * zc) * ((t * t) * (t * t));
}

}  // namespace

void SimplexNoiseInit() {
  for (int i = 0; i < 512; i++) {
    s_permStore[i] = c_perm[i & 255];
    s_permMod12Store[i] = s_permStore[i] % 12;
  }
  s_perm = s_permStore;
  s_permMod12 = s_permMod12Store;
  s_reportedUnready = false;
  s_reportedBadPoint = false;
}

void SimplexNoiseExit() {
  s_perm = nullptr;
  s_permMod12 = nullptr;
  s_reportedUnready = false;
}

float SimplexNoise(float x, float y, float z) {
  const int32_t* perm = s_perm;
  const int32_t* mod12 = s_permMod12;
  if (!perm || !mod12) {
    if (!s_reportedUnready.exchange(true)) ASSERTT(false, "simplex noise sampled outside SimplexNoiseInit/Exit");
    return 0.0f;
  }
  // Beyond this the grid indices would overflow an int (and NaN has no cell at
  // all); no planet comes near it, so such a point is a caller's fault.
  const float c_limit = 1e8f;
  const bool pointInRange = fabsf(x) < c_limit && fabsf(y) < c_limit && fabsf(z) < c_limit;
  if (!pointInRange) {
    if (!s_reportedBadPoint.exchange(true)) {
      ASSERTM(pointInRange, "simplex noise point (%g %g %g) is out of range", static_cast<double>(x),
              static_cast<double>(y), static_cast<double>(z));
    }
    return 0.0f;
  }

  // Skew the input space to find the simplex cell.
  const float s = static_cast<float>(static_cast<double>(x + y + z) * c_f3);
  const int i = FastFloor(x + s);
  const int j = FastFloor(y + s);
  const int k = FastFloor(z + s);
  // Unskew the cell origin back to the input space.
  const float t = static_cast<float>(static_cast<double>(i + j + k) * c_g3);
  const float x0 = x - (static_cast<float>(i) - t);
  const float y0 = y - (static_cast<float>(j) - t);
  const float z0 = z - (static_cast<float>(k) - t);

  // Which of the six tetrahedra of the cell holds the point.
  int i1, j1, k1, i2, j2, k2;
  if (x0 >= y0) {
    if (y0 >= z0) {
      i1 = 1, j1 = 0, k1 = 0, i2 = 1, j2 = 1, k2 = 0;
    } else if (x0 >= z0) {
      i1 = 1, j1 = 0, k1 = 0, i2 = 1, j2 = 0, k2 = 1;
    } else {
      i1 = 0, j1 = 0, k1 = 1, i2 = 1, j2 = 0, k2 = 1;
    }
  } else {
    if (y0 < z0) {
      i1 = 0, j1 = 0, k1 = 1, i2 = 0, j2 = 1, k2 = 1;
    } else if (x0 < z0) {
      i1 = 0, j1 = 1, k1 = 0, i2 = 0, j2 = 1, k2 = 1;
    } else {
      i1 = 0, j1 = 1, k1 = 0, i2 = 1, j2 = 1, k2 = 0;
    }
  }

  const float x1 = static_cast<float>(static_cast<double>(x0 - static_cast<float>(i1)) + c_g3);
  const float y1 = static_cast<float>(static_cast<double>(y0 - static_cast<float>(j1)) + c_g3);
  const float z1 = static_cast<float>(static_cast<double>(z0 - static_cast<float>(k1)) + c_g3);
  const float x2 = static_cast<float>(static_cast<double>(x0 - static_cast<float>(i2)) + 2.0 * c_g3);
  const float y2 = static_cast<float>(static_cast<double>(y0 - static_cast<float>(j2)) + 2.0 * c_g3);
  const float z2 = static_cast<float>(static_cast<double>(z0 - static_cast<float>(k2)) + 2.0 * c_g3);
  const float x3 = static_cast<float>(static_cast<double>(x0) - 1.0 + 0.5);
  const float y3 = static_cast<float>(static_cast<double>(y0) - 1.0 + 0.5);
  const float z3 = static_cast<float>(static_cast<double>(z0) - 1.0 + 0.5);

  const int ii = i & 255;
  const int jj = j & 255;
  const int kk = k & 255;
  const int g0 = mod12[ii + perm[jj + perm[kk]]];
  const int g1 = mod12[ii + i1 + perm[jj + j1 + perm[kk + k1]]];
  const int g2 = mod12[ii + i2 + perm[jj + j2 + perm[kk + k2]]];
  const int g3 = mod12[ii + 1 + perm[jj + 1 + perm[kk + 1]]];

  const float n0 = Corner(g0, x0, y0, z0);
  const float n1 = Corner(g1, x1, y1, z1);
  const float n2 = Corner(g2, x2, y2, z2);
  const float n3 = Corner(g3, x3, y3, z3);
  const float sum = n1 + n0 + n2 + n3;
  return static_cast<float>(static_cast<double>(sum) * 32.0);
}

float SimplexNoiseOctaves(float x, float y, float z) {
  return (0.5f * SimplexNoise(2.0f * x, 2.0f * y, 2.0f * z) + SimplexNoise(x, y, z) +
          0.25f * SimplexNoise(4.0f * x, 4.0f * y, 4.0f * z) + 0.125f * SimplexNoise(8.0f * x, 8.0f * y, 8.0f * z)) /
         1.875f;
}

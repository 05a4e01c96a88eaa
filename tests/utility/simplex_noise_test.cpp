// Simplex noise: pinned values (planets depend on them), negative cells, re-initialisation and misuse.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "test_support.h"
#include "utility/simplex_noise.h"

namespace {

struct Golden {
  float x, y, z;
  float noise;    // SimplexNoise
  float octaves;  // SimplexNoiseOctaves
};

// Computed once with this implementation (identical at -O0 and -O2; the build
// forbids fused multiply-add) and cross-checked against a separate double-precision
// version of the same formula, which agrees to about 1e-7 on each. Every planet,
// tree, rock and mineral placement follows from these bits, so they must never drift.
//
// Worked by hand for (0.25, 0, 0): the skew puts it in cell (0, 0, 0) with offset
// (0.25, 0, 0) and x0 >= y0 >= z0, so the corners are (0,0,0), (1,0,0), (1,1,0),
// (1,1,1). Corner 0: t = 0.6 - 0.0625 = 0.5375, gradient perm[perm[perm[0]]] % 12 =
// perm[perm[151]] % 12 = perm[17] % 12 = 36 % 12 = 0, i.e. (1,1,0), giving
// 0.25 * 0.5375^4 = 0.0208667. Corner 1: offset (-7/12, 1/6, 1/6), t = 0.204167,
// gradient 7 (-1,0,-1), giving (7/12 - 1/6) * t^4 = 0.000724. Corner 2: offset
// (-5/12, -2/3, 1/3) lies outside the falloff (t < 0). Corner 3: offset
// (-0.25, -0.5, -0.5), t = 0.0375, gradient 3 (-1,-1,0), giving 0.75 * t^4 = 1.5e-6.
// 32 * 0.0215921 = 0.690949, as pinned below.
//
// (-0.375, 0, 0) is the negative-floor case: x + s = -0.5 floors to -1 (not to 0),
// so the cell index wraps to ii = 255; (-0.5, -0.5, -0.5) and (0.5, 0.5, 0.5) skew
// onto lattice points and give 0 like the origin.
const Golden c_golden[] = {
    {0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.25f, 0.0f, 0.0f, 0x1.61c424p-1f, 0x1.86ec8ap-2f},
    {0.1f, 0.2f, 0.3f, 0x1.45936cp-1f, 0x1.e7b46ep-2f},
    {1.5f, -2.25f, 0.75f, 0x1.400228p-2f, 0x1.9fc592p-4f},
    {-0.5f, -0.5f, -0.5f, 0.0f, 0.0f},
    {0.5f, 0.5f, 0.5f, 0.0f, 0.0f},
    {-1.3f, 2.7f, -0.4f, 0x1.961c94p-2f, 0x1.0ef6ecp-2f},
    {12.345f, 6.789f, -3.21f, -0x1.f2560cp-2f, -0x1.b58024p-2f},
    {-0.375f, 0.0f, 0.0f, -0x1.56b43p-1f, -0x1.40ed02p-1f},
    {37.25f, -101.5f, 64.125f, -0x1.2fdb1ep-2f, -0x1.14e8dep-3f},
    {-0.7f, -0.2f, -0.9f, -0x1.bc421p-5f, -0x1.47f8aap-2f},
};

void ExpectGolden() {
  for (const Golden& g : c_golden) {
    EXPECT_EQ(SimplexNoise(g.x, g.y, g.z), g.noise) << g.x << " " << g.y << " " << g.z;
    EXPECT_EQ(SimplexNoiseOctaves(g.x, g.y, g.z), g.octaves) << g.x << " " << g.y << " " << g.z;
  }
}

}  // namespace

TEST(SimplexNoise, PinnedValues) {
  SimplexNoiseInit();
  EXPECT_EQ(SimplexNoise(0, 0, 0), 0.0f);
  ExpectGolden();
}

TEST(SimplexNoise, NegativeCoordinatesStayContinuous) {
  SimplexNoiseInit();
  // A floor that truncated toward zero would pick the wrong cell for negative
  // points and make the field jump at every cell wall; walk a diagonal through
  // negative space in small steps and require a smooth, bounded field.
  float previous = SimplexNoise(-6.0f, -4.0f, -2.0f);
  float lowest = previous, highest = previous;
  for (int step = 1; step <= 6000; step++) {
    const float d = 0.001f * static_cast<float>(step);
    const float v = SimplexNoise(-6.0f + d, -4.0f + 0.7f * d, -2.0f + 0.3f * d);
    EXPECT_LT(fabsf(v - previous), 0.02f) << "step " << step;
    lowest = fminf(lowest, v), highest = fmaxf(highest, v);
    previous = v;
  }
  EXPECT_GE(lowest, -1.0f);
  EXPECT_LE(highest, 1.0f);
  EXPECT_LT(lowest, -0.2f);  // the walk crosses real features, not a flat zero
  EXPECT_GT(highest, 0.2f);
}

TEST(SimplexNoise, SameValuesAfterReinitialisation) {
  SimplexNoiseInit();
  SimplexNoiseInit();  // a second Init rebuilds the same tables
  ExpectGolden();
  SimplexNoiseExit();
  SimplexNoiseInit();
  ExpectGolden();
}

TEST(SimplexNoise, MisuseIsReportedOnceAndYieldsZero) {
  SimplexNoiseExit();
  {
    // Sampling without tables: one report for the whole loop, zeros, no crash.
    ExpectAsserts expect;
    for (int i = 0; i < 100; i++) EXPECT_EQ(SimplexNoiseOctaves(0.25f * i, 1, 2), 0.0f);
    EXPECT_EQ(expect.Count(), 1);
  }
  SimplexNoiseInit();
  {
    ExpectAsserts expect;
    EXPECT_EQ(SimplexNoise(NAN, 0, 0), 0.0f);
    EXPECT_EQ(SimplexNoise(0, INFINITY, 0), 0.0f);
    EXPECT_EQ(SimplexNoise(0, 0, -3e9f), 0.0f);
    EXPECT_EQ(expect.Count(), 1);
    // Good points still work after a bad one.
    EXPECT_EQ(SimplexNoise(0.25f, 0, 0), 0x1.61c424p-1f);
  }
}

TEST(SimplexNoise, ConcurrentSamplingMatchesSerial) {
  // The tables are read-only between Init and Exit, so generator threads may share them.
  SimplexNoiseInit();
  std::vector<float> expected(4000);
  for (int i = 0; i < 4000; i++) expected[i] = SimplexNoiseOctaves(0.013f * i, -0.007f * i, 0.5f);
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++) {
    threads.emplace_back([t, &expected, &mismatches] {
      for (int i = 0; i < 4000; i++)
        if (SimplexNoiseOctaves(0.013f * i, -0.007f * i, 0.5f) != expected[i]) mismatches[t]++;
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < 4; t++) EXPECT_EQ(mismatches[t], 0);
}

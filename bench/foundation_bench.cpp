// Foundation timings: noise samples and matrix work per call, one "name value unit" line per figure.
#include <cstdio>

#include "bench_util.h"
#include "utility/matrix44.h"
#include "utility/simplex_noise.h"

using bench::NowNs;

namespace {

volatile float sink;  // keeps the optimiser from dropping the loops

}  // namespace

int main() {
  SimplexNoiseInit();
  const int samples = 2000000;
  float acc = 0.0f;
  double start = NowNs();
  for (int i = 0; i < samples; i++) acc += SimplexNoise(0.0137f * i, -0.0071f * i, 0.0023f * i);
  printf("simplex_noise_sample %.1f ns\n", (NowNs() - start) / samples);
  start = NowNs();
  for (int i = 0; i < samples / 4; i++) acc += SimplexNoiseOctaves(0.0137f * i, -0.0071f * i, 0.0023f * i);
  printf("simplex_noise_octaves %.1f ns\n", (NowNs() - start) / (samples / 4));
  SimplexNoiseExit();

  Matrix44 m = Matrix44::Rotation(Normalize(Vec3{1, 2, 3}), 0.5f);
  const int products = 5000000;
  start = NowNs();
  for (int i = 0; i < products; i++) {
    m = Matrix44::Multiply(m, Matrix44::Translation(Vec3{0.001f, 0.0f, static_cast<float>(i & 1)}));
    acc += m.m[12];
  }
  printf("matrix_translate_multiply %.1f ns\n", (NowNs() - start) / products);
  start = NowNs();
  for (int i = 0; i < products; i++) {
    m.m[12] = static_cast<float>(i & 7);
    acc += Matrix44::Inverse(m).m[13];
  }
  printf("matrix_inverse %.1f ns\n", (NowNs() - start) / products);
  sink = acc;
  return 0;
}

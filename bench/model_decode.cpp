// Measures decoding models without a GL context: the largest planet as a ".geo" and a large synthetic ".md2" figure.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_util.h"
#include "graphics/models/model_db.h"
#include "graphics/models/model_formats.h"
#include "system/file.h"
#include "utility/log.h"
#include "world/planet/terraform.h"

static void QuietLog(const char*, ...) {}

namespace {
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { memcpy(&b[at], &v, 4); }

// A figure of the given size: a strip of triangles over a grid of vertices, every frame
// moving the vertices a little, one texture coordinate per vertex.
std::vector<uint8_t> Figure(int vertices, int triangles, int frames) {
  const size_t st = 68, tris = st + 4 * static_cast<size_t>(vertices), fr = tris + 12 * static_cast<size_t>(triangles);
  const size_t frameBytes = 40 + 4 * static_cast<size_t>(vertices);
  std::vector<uint8_t> b(fr + frameBytes * frames, 0);
  memcpy(&b[0], "IDP2", 4);
  const uint32_t header[] = {8,
                             256,
                             256,
                             static_cast<uint32_t>(frameBytes),
                             0,
                             static_cast<uint32_t>(vertices),
                             static_cast<uint32_t>(vertices),
                             static_cast<uint32_t>(triangles),
                             0,
                             static_cast<uint32_t>(frames),
                             68,
                             static_cast<uint32_t>(st),
                             static_cast<uint32_t>(tris),
                             static_cast<uint32_t>(fr)};
  for (size_t i = 0; i < sizeof(header) / 4; ++i) Put32(b, 4 + 4 * i, header[i]);
  for (int v = 0; v < vertices; ++v) {
    const uint16_t s = static_cast<uint16_t>(v % 256), t = static_cast<uint16_t>(v / 256);
    memcpy(&b[st + 4 * v], &s, 2);
    memcpy(&b[st + 4 * v + 2], &t, 2);
  }
  for (int i = 0; i < triangles; ++i) {
    const uint16_t idx[3] = {static_cast<uint16_t>(i % vertices), static_cast<uint16_t>((i + 1) % vertices),
                             static_cast<uint16_t>((i + 2) % vertices)};
    for (int c = 0; c < 3; ++c) {
      memcpy(&b[tris + 12 * i + 2 * c], &idx[c], 2);
      memcpy(&b[tris + 12 * i + 6 + 2 * c], &idx[c], 2);
    }
  }
  for (int f = 0; f < frames; ++f) {
    const size_t at = fr + frameBytes * f;
    const float one = 1.0f;
    for (int k = 0; k < 3; ++k) memcpy(&b[at + 4 * k], &one, 4);
    snprintf(reinterpret_cast<char*>(&b[at + 24]), 16, "%s%d", f < frames / 2 ? "walk" : "idle", f);
    for (int v = 0; v < vertices; ++v)
      for (int k = 0; k < 3; ++k) b[at + 40 + 4 * v + k] = static_cast<uint8_t>((v * (k + 3) + f) & 0xff);
  }
  return b;
}

double Ms(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}
}  // namespace

int main() {
  FixedString user, data;
  if (!UserFolderResolve(&user) || !DataFolderResolve(&data) || !FoldersSet(user.c_str(), data.c_str())) return 1;
  bench::Quiet();
  consoleHook = QuietLog;
  std::string figures;
  char line[160];

  // The jumbo planet, loaded through the table as the game loads it (decoding only).
  if (FileExists("data/planets/planet7.dump", false) && TerraformWrite(5, 0, 7, 1, 2) == 0) {
    ModelDB db;
    db.SetHeadless(true);
    db.SetSRGB(true);
    const auto t0 = std::chrono::steady_clock::now();
    const int slot = db.Load("custom.geo", false, 1);
    const auto t1 = std::chrono::steady_clock::now();
    if (slot >= 0) {
      snprintf(line, sizeof(line), "model_load_planet_jumbo %.2f ms\nmodel_planet_jumbo_bytes %lld bytes\n", Ms(t0, t1),
               static_cast<long long>(db.Entry(slot)->m_mesh.m_blockBytes));
      figures += line;
    }
    db.FreeAll();
  }

  // A figure far larger than the game's: 2048 vertices, 4096 triangles, 200 frames.
  const std::vector<uint8_t> image = Figure(2048, 4096, 200);
  double best = 1e30;
  ModelMesh mesh;
  for (int i = 0; i < 5; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    Md2Decode(image.data(), static_cast<int64_t>(image.size()), 0, "data/props", "bench.md2", &mesh);
    best = std::min(best, Ms(t0, std::chrono::steady_clock::now()));
  }
  snprintf(line, sizeof(line),
           "model_decode_md2_2048v_4096t_200f %.2f ms\nmodel_md2_2048v_4096t_200f_bytes %lld bytes\n", best,
           static_cast<long long>(mesh.m_blockBytes));
  figures += line;

  bench::Loud();
  fputs(figures.c_str(), stdout);
  return 0;
}

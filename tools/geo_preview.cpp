// Renders ".geo" models in software into PPM pictures, for looking at them without a window:
// geo_preview <out folder> <extent> <scale> <file.geo>...
// Each model is drawn alone, seen from above its +x, +y corner, flat-shaded by the winding of its
// triangles (culling back faces, so a face wound the wrong way shows as a hole), with its outline
// lines. With extent 0 the picture is fitted to the model; otherwise it shows extent tile widths
// around the origin with the model scaled by scale tile widths per unit, over a tile of width 1.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/models/model_formats.h"

namespace {

using V = GeoVertex;

struct Vec {
  float x, y, z;
};
Vec Sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Norm(Vec a) {
  const float l = std::sqrt(Dot(a, a));
  return l > 0 ? Vec{a.x / l, a.y / l, a.z / l} : a;
}

const int W = 256, H = 256;

struct Image {
  std::vector<float> rgb = std::vector<float>(W * H * 3, 0.0f);
  std::vector<float> depth = std::vector<float>(W * H, 1e30f);
};

struct View {
  Vec right, up, fwd;
  float cx, cy, scale;
  Vec Project(Vec p) const {
    return {(Dot(p, right) - cx) * scale + W / 2, H / 2 - (Dot(p, up) - cy) * scale, Dot(p, fwd)};
  }
};

void Fill(Image& img, const Vec p[3], const float col[3][3]) {
  const float minx = std::fmin(p[0].x, std::fmin(p[1].x, p[2].x)), maxx = std::fmax(p[0].x, std::fmax(p[1].x, p[2].x));
  const float miny = std::fmin(p[0].y, std::fmin(p[1].y, p[2].y)), maxy = std::fmax(p[0].y, std::fmax(p[1].y, p[2].y));
  const float area = (p[1].x - p[0].x) * (p[2].y - p[0].y) - (p[1].y - p[0].y) * (p[2].x - p[0].x);
  if (std::fabs(area) < 1e-9f) return;
  for (int y = std::max(0, (int)miny); y <= std::min(H - 1, (int)maxy + 1); ++y)
    for (int x = std::max(0, (int)minx); x <= std::min(W - 1, (int)maxx + 1); ++x) {
      const float px = x + 0.5f, py = y + 0.5f;
      const float w0 = ((p[1].x - px) * (p[2].y - py) - (p[1].y - py) * (p[2].x - px)) / area;
      const float w1 = ((p[2].x - px) * (p[0].y - py) - (p[2].y - py) * (p[0].x - px)) / area;
      const float w2 = 1.0f - w0 - w1;
      if (w0 < 0 || w1 < 0 || w2 < 0) continue;
      const float d = w0 * p[0].z + w1 * p[1].z + w2 * p[2].z;
      float& zb = img.depth[y * W + x];
      if (d >= zb) continue;
      zb = d;
      for (int k = 0; k < 3; ++k) img.rgb[(y * W + x) * 3 + k] = w0 * col[0][k] + w1 * col[1][k] + w2 * col[2][k];
    }
}

void DrawLine(Image& img, Vec a, Vec b, const float col[3]) {
  const int steps = (int)std::fmax(std::fabs(b.x - a.x), std::fabs(b.y - a.y)) + 1;
  for (int i = 0; i <= steps; ++i) {
    const float t = (float)i / steps;
    const int x = (int)(a.x + (b.x - a.x) * t), y = (int)(a.y + (b.y - a.y) * t);
    const float d = a.z + (b.z - a.z) * t - 0.01f;
    if (x < 0 || y < 0 || x >= W || y >= H) continue;
    if (d > img.depth[y * W + x] + 0.002f) continue;
    for (int k = 0; k < 3; ++k) img.rgb[(y * W + x) * 3 + k] = col[k];
  }
}

// Reads the model through the game's own ".geo" reader, so the preview shows what the game would load.
bool Load(const char* path, std::vector<V>* tris, std::vector<V>* lines) {
  FILE* f = fopen(path, "rb");
  if (!f) return false;
  std::vector<uint8_t> image;
  uint8_t chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, f)) > 0;) image.insert(image.end(), chunk, chunk + n);
  fclose(f);
  ModelMesh mesh;
  if (GeoDecode(image.data(), static_cast<int64_t>(image.size()), 0, false, path, &mesh) != 0) return false;
  const GeoVertex* v = mesh.GeoVertices();
  tris->assign(v, v + int64_t{mesh.m_triangleCount} * 3);
  lines->assign(v + int64_t{mesh.m_triangleCount} * 3, v + mesh.m_vertexCount);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: geo_preview <out folder> <extent> <scale> <file.geo>...\n");
    return 2;
  }
  const float extent = (float)atof(argv[2]), scale = (float)atof(argv[3]);
  View view;
  view.fwd = Norm(Vec{-0.55f, -1.0f, -0.75f});
  view.right = Norm(Cross(view.fwd, Vec{0, 0, 1}));
  view.up = Cross(view.right, view.fwd);
  const Vec light = Norm(Vec{0.4f, 0.7f, 1.0f});
  for (int a = 4; a < argc; ++a) {
    std::vector<V> tris, lines;
    if (!Load(argv[a], &tris, &lines)) {
      fprintf(stderr, "cannot read %s\n", argv[a]);
      return 1;
    }
    const float s = extent > 0 ? scale : 1.0f;
    auto pos = [s](const V& v) { return Vec{v.x * s, v.y * s, v.z * s}; };
    if (extent > 0) {
      view.cx = 0;
      view.cy = extent * 0.25f;
      view.scale = W / (extent * 1.1f);
    } else {
      float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
      for (const V& v : tris) {
        const float p[2] = {Dot(pos(v), view.right), Dot(pos(v), view.up)};
        for (int k = 0; k < 2; ++k) lo[k] = std::fmin(lo[k], p[k]), hi[k] = std::fmax(hi[k], p[k]);
      }
      view.cx = (lo[0] + hi[0]) * 0.5f;
      view.cy = (lo[1] + hi[1]) * 0.5f;
      view.scale = W * 0.9f / std::fmax(hi[0] - lo[0], hi[1] - lo[1]);
    }
    Image img;
    for (int i = 0; i < W * H; ++i) img.rgb[i * 3] = img.rgb[i * 3 + 1] = img.rgb[i * 3 + 2] = 0.82f;
    if (extent > 0) {
      // The tile under the model: a hexagon one tile width across.
      const float tile[3][3] = {{0.55f, 0.7f, 0.45f}, {0.55f, 0.7f, 0.45f}, {0.55f, 0.7f, 0.45f}};
      for (int k = 0; k < 6; ++k) {
        const float a0 = (30 + 60 * k) * 3.14159265f / 180, a1 = (90 + 60 * k) * 3.14159265f / 180;
        const Vec p[3] = {view.Project({0, 0, -0.0005f}),
                          view.Project({0.5f * std::cos(a0), 0.5f * std::sin(a0), -0.0005f}),
                          view.Project({0.5f * std::cos(a1), 0.5f * std::sin(a1), -0.0005f})};
        Fill(img, p, tile);
      }
    }
    int culled = 0;
    for (size_t i = 0; i + 2 < tris.size(); i += 3) {
      const Vec w[3] = {pos(tris[i]), pos(tris[i + 1]), pos(tris[i + 2])};
      const Vec n = Norm(Cross(Sub(w[1], w[0]), Sub(w[2], w[0])));
      if (Dot(n, view.fwd) >= 0) {
        ++culled;
        continue;
      }
      const float lit = 0.45f + 0.55f * std::fmax(0.0f, Dot(n, light));
      float col[3][3];
      for (int v = 0; v < 3; ++v)
        for (int k = 0; k < 3; ++k) col[v][k] = tris[i + v].rgba[k] / 255.0f * lit;
      const Vec p[3] = {view.Project(w[0]), view.Project(w[1]), view.Project(w[2])};
      Fill(img, p, col);
    }
    for (size_t i = 0; i + 1 < lines.size(); i += 2) {
      const float col[3] = {lines[i].rgba[0] / 255.0f, lines[i].rgba[1] / 255.0f, lines[i].rgba[2] / 255.0f};
      DrawLine(img, view.Project(pos(lines[i])), view.Project(pos(lines[i + 1])), col);
    }
    std::string name = argv[a];
    name = name.substr(name.find_last_of('/') + 1);
    name = name.substr(0, name.find_last_of('.'));
    const std::string out = std::string(argv[1]) + "/" + name + ".ppm";
    FILE* f = fopen(out.c_str(), "wb");
    if (!f) return 1;
    fprintf(f, "P6\n%d %d\n255\n", W, H);
    for (float c : img.rgb) fputc((int)(std::fmin(1.0f, std::fmax(0.0f, c)) * 255.0f + 0.5f), f);
    fclose(f);
    printf("%s: %zu triangles, %zu lines\n", name.c_str(), tris.size() / 3, lines.size() / 2);
  }
  return 0;
}

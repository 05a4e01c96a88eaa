// Generates the planet dumps data/planets/planet2.dump .. planet7.dump: geodesic spheres of 10 x 3^n + 2 tiles.
//
// The sphere starts as an icosahedron and is refined n times by sqrt(3) subdivision (a new vertex in
// every triangle, then every old edge flipped), which triples the triangle count each time. The tiles
// are the vertices of that triangulation, so the twelve icosahedron corners stay the pentagons 0..11;
// the tile corners are the triangles. Only sqrt and plain arithmetic in a fixed order are used, so
// every build writes the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <vector>

namespace {

struct V3 {
  double x, y, z;
};

V3 Normalised(V3 v) {
  const double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return V3{v.x / len, v.y / len, v.z / len};
}

V3 Sum3(const V3& a, const V3& b, const V3& c) { return V3{a.x + b.x + c.x, a.y + b.y + c.y, a.z + b.z + c.z}; }

struct Tri {
  int v[3];  // counter-clockwise seen from outside
};

uint64_t EdgeKey(int a, int b) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b);
}

struct Mesh {
  std::vector<V3> verts;
  std::vector<Tri> tris;
};

Mesh Icosahedron() {
  Mesh m;
  const double p = (1.0 + std::sqrt(5.0)) / 2.0;
  const V3 raw[12] = {{-1, p, 0},  {1, p, 0},  {-1, -p, 0}, {1, -p, 0}, {0, -1, p},  {0, 1, p},
                      {0, -1, -p}, {0, 1, -p}, {p, 0, -1},  {p, 0, 1},  {-p, 0, -1}, {-p, 0, 1}};
  for (const V3& r : raw) m.verts.push_back(Normalised(r));
  const int faces[20][3] = {{0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
                            {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
                            {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
  for (const auto& f : faces) m.tris.push_back(Tri{{f[0], f[1], f[2]}});
  return m;
}

// Maps each directed edge a->b to the triangle that holds it.
std::unordered_map<uint64_t, int> DirectedEdges(const Mesh& m) {
  std::unordered_map<uint64_t, int> map;
  map.reserve(m.tris.size() * 3);
  for (size_t t = 0; t < m.tris.size(); ++t)
    for (int k = 0; k < 3; ++k) map[EdgeKey(m.tris[t].v[k], m.tris[t].v[(k + 1) % 3])] = static_cast<int>(t);
  return map;
}

Mesh Subdivide(const Mesh& in) {
  Mesh out;
  out.verts = in.verts;
  const int firstNew = static_cast<int>(in.verts.size());
  for (const Tri& t : in.tris)
    out.verts.push_back(Normalised(Sum3(in.verts[t.v[0]], in.verts[t.v[1]], in.verts[t.v[2]])));
  const std::unordered_map<uint64_t, int> edges = DirectedEdges(in);
  // Each old edge a->b (left triangle L, right triangle R) becomes the flipped pair (a, mR, mL), (mR, b, mL).
  for (size_t t = 0; t < in.tris.size(); ++t) {
    for (int k = 0; k < 3; ++k) {
      const int a = in.tris[t].v[k], b = in.tris[t].v[(k + 1) % 3];
      if (a > b) continue;
      const int mL = firstNew + static_cast<int>(t);
      const int mR = firstNew + edges.at(EdgeKey(b, a));
      out.tris.push_back(Tri{{a, mR, mL}});
      out.tris.push_back(Tri{{mR, b, mL}});
    }
  }
  return out;
}

bool WriteDump(const Mesh& m, const char* path) {
  const int numTiles = static_cast<int>(m.verts.size());
  const int numCorners = static_cast<int>(m.tris.size());
  const std::unordered_map<uint64_t, int> edges = DirectedEdges(m);

  // One incident triangle per tile to start its ring from: the lowest-numbered one.
  std::vector<int> start(numTiles, -1), startSlot(numTiles, -1);
  for (int t = 0; t < numCorners; ++t)
    for (int k = 0; k < 3; ++k) {
      const int v = m.tris[t].v[k];
      if (start[v] < 0) start[v] = t, startSlot[v] = k;
    }

  // Rings: corners (triangles) and neighbours counter-clockwise around each tile seen from outside.
  // After triangle (v, x, y) comes the triangle holding the directed edge v->y.
  std::vector<int> corners(static_cast<size_t>(numTiles) * 6, -1), ring(static_cast<size_t>(numTiles) * 6, -1);
  std::vector<int> valence(numTiles, 0);
  for (int v = 0; v < numTiles; ++v) {
    int t = start[v], k = startSlot[v];
    for (int n = 0; n < 7; ++n) {
      if (n == 6) {
        fprintf(stderr, "Tile %d has more than six corners.\n", v);
        return false;
      }
      corners[v * 6 + n] = t;
      const int y = m.tris[t].v[(k + 2) % 3];
      ring[v * 6 + n] = y;
      valence[v] = n + 1;
      t = edges.at(EdgeKey(v, y));
      for (k = 0; m.tris[t].v[k] != v; ++k) {
      }
      if (t == start[v]) break;
    }
    if (valence[v] != (v < 12 ? 5 : 6)) {
      fprintf(stderr, "Tile %d has %d corners.\n", v, valence[v]);
      return false;
    }
  }

  FILE* f = fopen(path, "wb");
  if (!f) {
    fprintf(stderr, "Cannot open %s for writing.\n", path);
    return false;
  }
  const int numEdges = numCorners * 3 / 2;
  fprintf(f, "sphere numtiles=%d numvertices=%d numedges=%d \n", numTiles, numCorners, numEdges);
  for (int t = 0; t < numCorners; ++t) {
    const Tri& tri = m.tris[t];
    const V3 c = Normalised(Sum3(m.verts[tri.v[0]], m.verts[tri.v[1]], m.verts[tri.v[2]]));
    fprintf(f, "vert id=%d x=%f y=%f z=%f \n", t, c.x, c.y, c.z);
  }
  for (int v = 0; v < numTiles; ++v) {
    const int* c = &corners[v * 6];
    if (v < 12)
      fprintf(f, "pentagon id=%d v0=%d v1=%d v2=%d v3=%d v4=%d \n", v, c[0], c[1], c[2], c[3], c[4]);
    else
      fprintf(f, "hexagon id=%d v0=%d v1=%d v2=%d v3=%d v4=%d v5=%d \n", v, c[0], c[1], c[2], c[3], c[4], c[5]);
  }
  // Edges tile by tile, each once from its lower tile, in ring order. The two shared corners of
  // (v, y) are the triangles on either side of that edge.
  int id = 0;
  for (int v = 0; v < numTiles; ++v) {
    for (int n = 0; n < valence[v]; ++n) {
      const int y = ring[v * 6 + n];
      if (y < v) continue;
      fprintf(f, "edge id=%d t0=%d t1=%d v0=%d v1=%d \n", id++, v, y, edges.at(EdgeKey(v, y)), edges.at(EdgeKey(y, v)));
    }
  }
  bool ok = !ferror(f) && id == numEdges;
  if (fclose(f) != 0) ok = false;
  if (!ok) fprintf(stderr, "Failed writing %s.\n", path);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  Mesh mesh = Icosahedron();
  for (int n = 1; n <= 7; ++n) {
    mesh = Subdivide(mesh);
    if (n < 2) continue;
    char path[1024];
    snprintf(path, sizeof(path), "%s/planet%d.dump", argv[1], n);
    if (!WriteDump(mesh, path)) return 1;
    printf("Wrote %s with %zu tiles.\n", path, mesh.verts.size());
  }
  return 0;
}

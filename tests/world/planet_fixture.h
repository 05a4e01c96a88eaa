// Test planets for the world tests: the folders, captured log lines and small topologies written as "custom.top".
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "captured_log.h"
#include "system/file.h"
#include "utility/log.h"
#include "world/planet/globe.h"
#include "world/wld.h"

// The folders the test run was given: the temporary user folder and the build's data folder.
inline void UseTestFolders() {
  FixedString user, data;
  ASSERT_TRUE(UserFolderResolve(&user));
  ASSERT_TRUE(DataFolderResolve(&data));
  ASSERT_TRUE(FoldersSet(user.c_str(), data.c_str()));
}

// The shape of the smallest generated planet (92 tiles): tile centres on the unit sphere and
// neighbour slots in the order the dump lists the edges, as the conversion writes them.
struct DumpShape {
  int numTiles = 0;
  std::vector<Vec3> centres;
  std::vector<int> neighbours;  // 6 per tile, -1 unused
  std::vector<Vec3> verts;      // the dump's corner vertices
  std::vector<int> corners;     // 6 per tile, -1 in slot 5 of a pentagon
  std::vector<int> edges;       // t0, t1 per edge line
};

inline DumpShape ReadDumpShape(int dumpNumber = 2) {
  DumpShape shape;
  FixedString name;
  name.Format("data/planets/planet%d.dump", dumpNumber);
  FixedString path;
  EXPECT_TRUE(FilePathMake(&path, name.c_str(), false));
  FILE* f = fopen(path.c_str(), "r");
  EXPECT_NE(f, nullptr) << "the planet dumps are made by the build: " << path.c_str();
  if (!f) return shape;
  int nt = 0, nv = 0, ne = 0, id;
  EXPECT_EQ(fscanf(f, "sphere numtiles=%d numvertices=%d numedges=%d ", &nt, &nv, &ne), 3);
  std::vector<Vec3> verts(nv);
  for (Vec3& v : verts) EXPECT_EQ(fscanf(f, "vert id=%d x=%f y=%f z=%f ", &id, &v.x, &v.y, &v.z), 4);
  shape.numTiles = nt;
  shape.centres.resize(nt);
  shape.neighbours.assign(nt * 6, -1);
  shape.corners.assign(nt * 6, -1);
  for (int t = 0; t < nt; ++t) {
    int c[6] = {-1, -1, -1, -1, -1, -1};
    const int n = t < 12 ? 5 : 6;
    if (t < 12)
      EXPECT_EQ(fscanf(f, "pentagon id=%d v0=%d v1=%d v2=%d v3=%d v4=%d ", &id, &c[0], &c[1], &c[2], &c[3], &c[4]), 6);
    else
      EXPECT_EQ(fscanf(f, "hexagon id=%d v0=%d v1=%d v2=%d v3=%d v4=%d v5=%d ", &id, &c[0], &c[1], &c[2], &c[3], &c[4],
                       &c[5]),
                7);
    Vec3 sum;
    for (int k = 0; k < 6; ++k) shape.corners[t * 6 + k] = c[k];
    for (int k = 0; k < n; ++k) sum += verts[c[k]];
    shape.centres[t] = sum * (1.0f / n);
  }
  std::vector<int> count(nt, 0);
  for (int e = 0; e < ne; ++e) {
    int t0, t1, v0, v1;
    EXPECT_EQ(fscanf(f, "edge id=%d t0=%d t1=%d v0=%d v1=%d ", &id, &t0, &t1, &v0, &v1), 5);
    shape.neighbours[t0 * 6 + count[t0]++] = t1;
    shape.neighbours[t1 * 6 + count[t1]++] = t0;
    shape.edges.push_back(t0);
    shape.edges.push_back(t1);
  }
  shape.verts = verts;
  fclose(f);
  return shape;
}

// Writes "custom.top" into the user folder for the shape with the given levels (level above 0
// is land); `cut` bytes are left off the end to make a damaged file.
inline void WriteTopology(const DumpShape& shape, const std::vector<int>& levels, const char* name = "custom.top",
                          int cut = 0, const std::function<void(std::vector<GridNode>&)>& edit = nullptr) {
  std::vector<GridNode> nodes(shape.numTiles);
  for (int t = 0; t < shape.numTiles; ++t) {
    GridNode& node = nodes[t];
    memset(static_cast<void*>(&node), 0, sizeof(node));
    node.nr = t;
    node.centre = shape.centres[t];
    node.type = levels[t] > 0 ? TP_LAND : TP_WATR;
    node.height = static_cast<int8_t>(levels[t]);
    node.numneighbours = shape.neighbours[t * 6 + 5] >= 0 ? 6 : 5;
    for (int k = 0; k < 6; ++k) node.neighbours[k] = shape.neighbours[t * 6 + k];
  }
  if (edit) edit(nodes);
  std::string bytes = "planet sz=" + std::to_string(shape.numTiles) + " hexw=0.472998\n";
  bytes.append(reinterpret_cast<const char*>(nodes.data()), nodes.size() * sizeof(GridNode));
  bytes.resize(bytes.size() - cut);
  FileHandle f = FileOpenWrite(name, true);
  ASSERT_NE(f, 0u);
  ASSERT_EQ(FileWrite(f, bytes.data(), bytes.size()), bytes.size());
  FileClose(f);
}

// Tile transforms without the mesh: each tile at its centre, axes from the usual frame.
inline void PlaceTiles(Globe& globe) {
  std::vector<Matrix44> trfs(globe.m_sz);
  for (int t = 0; t < globe.m_sz; ++t) {
    const Vec3 up = Normalize(globe.m_nodes[t].centre);
    const Vec3 hint = std::fabs(up.z) < 0.9f ? Vec3{0, 0, 1} : Vec3{1, 0, 0};
    trfs[t] = Matrix44::AlignZY(hint, up);
    trfs[t].SetTranslation(globe.m_nodes[t].centre);
  }
  globe.SetTileTransforms(trfs.data());
}

// Levels for the 92-tile shape: the northern half land at level 1, the rest sea at level -1.
inline std::vector<int> HalfLand(const DumpShape& shape) {
  std::vector<int> levels(shape.numTiles);
  for (int t = 0; t < shape.numTiles; ++t) levels[t] = shape.centres[t].z > 0.0f ? 1 : -1;
  return levels;
}

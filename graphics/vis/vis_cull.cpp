// What the camera cannot see: the view volume's planes, the planet's far side, the instances and planet chunks left
// out.
#include "graphics/vis/vis_cull.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <unordered_set>
#include <vector>

#include "utility/log.h"

namespace {

// The GPU places vertices in single precision and the models' own transforms round too: every
// ball is grown by this share and this much, so that rounding never drops a visible pixel.
constexpr float c_radiusSlack = 1.01f;
constexpr float c_distanceSlack = 1e-5f;

CullPlane PlaneNormalized(float a, float b, float c, float d) {
  const float len = sqrtf(a * a + b * b + c * c);
  if (!(len > 0.0f)) return CullPlane{0.0f, 0.0f, 0.0f, 1.0f};  // no plane: culls nothing
  return CullPlane{a / len, b / len, c / len, d / len};
}

// Distance from the origin to the segment a-b.
float SegmentDistance(const Vec3& a, const Vec3& b) {
  const Vec3 ab = b - a;
  const float len2 = ab.LengthSquared();
  float t = len2 > 0.0f ? -Dot(a, ab) / len2 : 0.0f;
  t = std::clamp(t, 0.0f, 1.0f);
  return (a + ab * t).Length();
}

// Distance from the origin to the nearest point of the triangle.
float TriangleDistance(const Vec3& a, const Vec3& b, const Vec3& c) {
  const Vec3 n = Cross(b - a, c - a);
  const float n2 = n.LengthSquared();
  if (n2 > 1e-20f) {
    // The origin's foot on the plane, when it falls inside the triangle, is the nearest point.
    const float s = Dot(a, n) / n2;
    const Vec3 p = n * s;
    const bool inside = Dot(Cross(b - a, p - a), n) >= 0.0f && Dot(Cross(c - b, p - b), n) >= 0.0f &&
                        Dot(Cross(a - c, p - c), n) >= 0.0f;
    if (inside) return p.Length();
  }
  return std::min({SegmentDistance(a, b), SegmentDistance(b, c), SegmentDistance(c, a)});
}

// Two vertices in the same place, bit for bit: whatever transform the GPU applies, they land on
// the same point.
bool SamePlace(const GeoVertex& a, const GeoVertex& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// The chunk of a direction: the cube face it points through, then the cell of a grid on it.
int ChunkOf(const Vec3& d, int grid) {
  const float ax = fabsf(d.x), ay = fabsf(d.y), az = fabsf(d.z);
  int face;
  float u, v, m;
  if (ax >= ay && ax >= az) {
    face = d.x >= 0.0f ? 0 : 1, m = ax, u = d.y, v = d.z;
  } else if (ay >= az) {
    face = d.y >= 0.0f ? 2 : 3, m = ay, u = d.z, v = d.x;
  } else {
    face = d.z >= 0.0f ? 4 : 5, m = az, u = d.x, v = d.y;
  }
  if (!(m > 0.0f)) return 0;
  const int i = std::clamp(static_cast<int>((u / m + 1.0f) * 0.5f * grid), 0, grid - 1);
  const int j = std::clamp(static_cast<int>((v / m + 1.0f) * 0.5f * grid), 0, grid - 1);
  return (face * grid + j) * grid + i;
}

Vec3 Position(const GeoVertex& v) { return Vec3{v.x, v.y, v.z}; }

}  // namespace

CullView CullViewMake(const Matrix44& vp, const Vec3& eye, float innerRadius, float outerRadius) {
  CullView view;
  const float* m = vp.m;
  // Row i of the matrix is (m[i], m[4 + i], m[8 + i], m[12 + i]); a point is inside when
  // -w <= x, y, z <= w in clip space.
  for (int axis = 0; axis < 3; ++axis) {
    for (int side = 0; side < 2; ++side) {
      const float s = side == 0 ? 1.0f : -1.0f;
      view.planes[axis * 2 + side] = PlaneNormalized(m[3] + s * m[axis], m[7] + s * m[4 + axis],
                                                     m[11] + s * m[8 + axis], m[15] + s * m[12 + axis]);
    }
  }
  view.eye = eye;
  const float d = eye.Length();
  if (innerRadius > 0.0f && d > outerRadius && d > innerRadius) {
    view.occluder = true;
    view.eyeDistance = d;
    view.axis = eye * (-1.0f / d);
    view.sinCone = innerRadius / d;
    view.cosCone = sqrtf(1.0f - view.sinCone * view.sinCone);
    view.behind = (d * d - innerRadius * innerRadius) / d;
  }
  return view;
}

bool CullSphereVisible(const CullView& view, const Vec3& centre, float radius) {
  const float r = radius * c_radiusSlack + c_distanceSlack;
  for (const CullPlane& p : view.planes)
    if (p.a * centre.x + p.b * centre.y + p.c * centre.z + p.d < -r) return false;
  if (!view.occluder) return true;
  // Hidden when the whole ball lies beyond the plane of the planet's silhouette and inside the
  // cone of rays from the eye that meet the planet: every such point is behind its front.
  const Vec3 v = centre - view.eye;
  const float along = Dot(v, view.axis);
  if (along - r <= view.behind) return true;
  const float len = v.Length();
  if (len <= r) return true;
  const float cosTheta = std::min(along / len, 1.0f);
  const float sinTheta = sqrtf(std::max(0.0f, 1.0f - cosTheta * cosTheta));
  const float sinBeta = r / len;
  const float cosBeta = sqrtf(std::max(0.0f, 1.0f - sinBeta * sinBeta));
  // The ball's widest ray from the axis, theta + beta, stays inside the cone's angle.
  const float cosEdge = cosTheta * cosBeta - sinTheta * sinBeta;
  return !(cosEdge >= view.cosCone);
}

CullBounds CullBoundsOfBox(const Aabb& box) {
  CullBounds b;
  if (!(box.min.x <= box.max.x && box.min.y <= box.max.y && box.min.z <= box.max.z)) return b;
  b.centre = (box.min + box.max) * 0.5f;
  b.radius = (box.max - box.min).Length() * 0.5f;
  return b;
}

int CullInstances(const CullView& view, const CullBounds& bounds, const Matrix44* in, int count, Matrix44* out) {
  if (!in || !out || count <= 0) return 0;
  if (bounds.radius < 0.0f) {
    memcpy(out, in, sizeof(Matrix44) * static_cast<size_t>(count));
    return count;
  }
  const Vec3 c = bounds.centre;
  int n = 0;
  for (int i = 0; i < count; ++i) {
    const float* m = in[i].m;
    const Vec3 centre{m[0] * c.x + m[4] * c.y + m[8] * c.z + m[12], m[1] * c.x + m[5] * c.y + m[9] * c.z + m[13],
                      m[2] * c.x + m[6] * c.y + m[10] * c.z + m[14]};
    const float sx = m[0] * m[0] + m[1] * m[1] + m[2] * m[2];
    const float sy = m[4] * m[4] + m[5] * m[5] + m[6] * m[6];
    const float sz = m[8] * m[8] + m[9] * m[9] + m[10] * m[10];
    const float scale = sqrtf(std::max({sx, sy, sz}));
    if (CullSphereVisible(view, centre, bounds.radius * scale)) out[n++] = in[i];
  }
  return n;
}

void PlanetChunks::Free() {
  delete[] triFirst;
  delete[] triCount;
  delete[] lineFirst;
  delete[] lineCount;
  delete[] centre;
  delete[] radius;
  delete[] indices;
  delete[] runFirst;
  delete[] runCount;
  delete[] runOffsets;
  runFirst = runCount = nullptr;
  runOffsets = nullptr;
  triFirst = triCount = lineFirst = lineCount = nullptr;
  centre = nullptr;
  radius = nullptr;
  indices = nullptr;
  chunkCount = 0;
  indexCount = 0;
  innerRadius = outerRadius = 0.0f;
}

bool PlanetChunksBuild(const GeoVertex* vertices, int triangleCount, int lineCount, int grid, PlanetChunks* out) {
  out->Free();
  if (!vertices || triangleCount <= 0 || lineCount < 0 || grid < 1 || grid > 32) {
    LOGE("Cannot split a planet mesh of %d triangles and %d lines into chunks.", triangleCount, lineCount);
    return false;
  }
  const int cells = 6 * grid * grid;
  const int64_t vertexCount = int64_t{3} * triangleCount + int64_t{2} * lineCount;
  if (vertexCount > (int64_t{1} << 31) - 1) {
    LOGE("The planet mesh has too many vertices (%lld) to index.", static_cast<long long>(vertexCount));
    return false;
  }
  try {
    // Identical vertices (same bytes) share the index of the first of them.
    std::vector<uint32_t> order(static_cast<size_t>(vertexCount));
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
    std::sort(order.begin(), order.end(), [vertices](uint32_t a, uint32_t b) {
      const int c = memcmp(&vertices[a], &vertices[b], sizeof(GeoVertex));
      return c != 0 ? c < 0 : a < b;
    });
    std::vector<uint32_t> canonical(order.size());
    for (size_t k = 0; k < order.size(); ++k) {
      const bool same = k > 0 && memcmp(&vertices[order[k]], &vertices[order[k - 1]], sizeof(GeoVertex)) == 0;
      canonical[order[k]] = same ? canonical[order[k - 1]] : order[k];
    }
    order = std::vector<uint32_t>();

    // Each primitive goes to the chunk its middle points through; one that cannot colour a
    // pixel goes nowhere (cell -1). A triangle with two corners in the same place has no area
    // wherever it is drawn (the tiles' walls between neighbours of equal height), and so has a
    // line of no length; a line drawn again between the same two vertices (the border two
    // tiles share) lays the same fragments with the same colour and depth where the first
    // already did.
    const int primitives = triangleCount + lineCount;
    std::vector<int32_t> cellOf(static_cast<size_t>(primitives), -1);
    std::vector<int32_t> tris(cells, 0), lines(cells, 0);
    int64_t kept = 0;
    float inner = 3.4e38f, outer = 0.0f;
    for (int t = 0; t < triangleCount; ++t) {
      const Vec3 a = Position(vertices[3 * t]), b = Position(vertices[3 * t + 1]), c = Position(vertices[3 * t + 2]);
      inner = std::min(inner, TriangleDistance(a, b, c));
      if (SamePlace(vertices[3 * t], vertices[3 * t + 1]) || SamePlace(vertices[3 * t + 1], vertices[3 * t + 2]) ||
          SamePlace(vertices[3 * t + 2], vertices[3 * t]))
        continue;
      cellOf[t] = ChunkOf(a + b + c, grid);
      ++tris[cellOf[t]];
      kept += 3;
    }
    const int64_t lineBase = int64_t{3} * triangleCount;
    std::unordered_set<uint64_t> drawnLines;
    for (int l = 0; l < lineCount; ++l) {
      const int64_t first = lineBase + 2 * l;
      if (SamePlace(vertices[first], vertices[first + 1])) continue;
      uint64_t ends[2] = {canonical[first], canonical[first + 1]};
      if (ends[0] > ends[1]) std::swap(ends[0], ends[1]);
      if (!drawnLines.insert(ends[0] << 32 | ends[1]).second) continue;
      cellOf[triangleCount + l] = ChunkOf(Position(vertices[first]) + Position(vertices[first + 1]), grid);
      ++lines[cellOf[triangleCount + l]];
      kept += 2;
    }
    for (int64_t v = 0; v < vertexCount; ++v) outer = std::max(outer, Position(vertices[v]).Length());

    // Empty cells are dropped; the rest keep the grid's order.
    std::vector<int32_t> chunkOfCell(cells, -1);
    int chunks = 0;
    for (int k = 0; k < cells; ++k)
      if (tris[k] + lines[k] > 0) chunkOfCell[k] = chunks++;
    out->chunkCount = chunks;
    out->triFirst = new int32_t[chunks];
    out->triCount = new int32_t[chunks]();
    out->lineFirst = new int32_t[chunks];
    out->lineCount = new int32_t[chunks]();
    out->centre = new Vec3[chunks];
    out->radius = new float[chunks]();
    out->indices = new uint32_t[static_cast<size_t>(kept)];
    out->indexCount = kept;
    out->runFirst = new int32_t[chunks];
    out->runCount = new int32_t[chunks];
    out->runOffsets = new const void*[chunks];
    int64_t at = 0;
    for (int k = 0; k < cells; ++k) {
      if (chunkOfCell[k] < 0) continue;
      out->triFirst[chunkOfCell[k]] = static_cast<int32_t>(at);
      at += int64_t{3} * tris[k];
    }
    for (int k = 0; k < cells; ++k) {
      if (chunkOfCell[k] < 0) continue;
      out->lineFirst[chunkOfCell[k]] = static_cast<int32_t>(at);
      at += int64_t{2} * lines[k];
    }
    std::vector<Aabb> boxes(chunks);
    for (int p = 0; p < primitives; ++p) {
      if (cellOf[p] < 0) continue;
      const int chunk = chunkOfCell[cellOf[p]];
      const bool tri = p < triangleCount;
      const int corners = tri ? 3 : 2;
      const int64_t first = tri ? int64_t{3} * p : lineBase + int64_t{2} * (p - triangleCount);
      int32_t& filled = tri ? out->triCount[chunk] : out->lineCount[chunk];
      const int64_t dst = (tri ? out->triFirst[chunk] : out->lineFirst[chunk]) + filled;
      for (int k = 0; k < corners; ++k) {
        out->indices[dst + k] = canonical[first + k];
        boxes[chunk].Extend(Position(vertices[first + k]));
      }
      filled += corners;
    }
    for (int c = 0; c < chunks; ++c) {
      const Vec3 mid = (boxes[c].min + boxes[c].max) * 0.5f;
      out->centre[c] = mid;
      float r = 0.0f;
      const auto grow = [&](int32_t first, int32_t count) {
        for (int32_t k = 0; k < count; ++k)
          r = std::max(r, (Position(vertices[out->indices[first + k]]) - mid).Length());
      };
      grow(out->triFirst[c], out->triCount[c]);
      grow(out->lineFirst[c], out->lineCount[c]);
      out->radius[c] = r;
    }
    // The ball nearer than every triangle lies inside the closed surface; the planet's own
    // vertices round on the GPU as everything else does, so both radii get a little room.
    out->innerRadius = inner > 0.0f && inner < 3.4e38f ? inner * 0.999f : 0.0f;
    out->outerRadius = outer * 1.001f;
  } catch (const std::bad_alloc&) {
    out->Free();
    LOGE("No memory to split the planet mesh of %d triangles into chunks.", triangleCount);
    return false;
  }
  return true;
}

int PlanetChunksVisible(const PlanetChunks& chunks, const CullView& view, bool lines, int32_t* first, int32_t* count) {
  int runs = 0;
  const int32_t* firsts = lines ? chunks.lineFirst : chunks.triFirst;
  const int32_t* counts = lines ? chunks.lineCount : chunks.triCount;
  for (int c = 0; c < chunks.chunkCount; ++c) {
    if (counts[c] <= 0 || !CullSphereVisible(view, chunks.centre[c], chunks.radius[c])) continue;
    if (runs > 0 && first[runs - 1] + count[runs - 1] == firsts[c]) {
      count[runs - 1] += counts[c];
    } else {
      first[runs] = firsts[c];
      count[runs] = counts[c];
      ++runs;
    }
  }
  return runs;
}

// What the camera cannot see: the view volume's planes, the planet's far side, the instances and planet chunks left
// out.
#pragma once

#include <cstdint>

#include "graphics/models/model_formats.h"
#include "utility/matrix44.h"

// A plane a x + b y + c z + d = 0 with (a, b, c) of unit length, pointing into the view.
struct CullPlane {
  float a, b, c, d;
};

// One frame's view for culling: the six planes of the view volume, and the planet as an
// occluder (a ball at the origin that lies wholly inside the planet's surface) when the eye is
// outside that surface. Made once per frame; every test against it is a plain function.
struct CullView {
  CullPlane planes[6];
  Vec3 eye;
  bool occluder = false;     // the far-side test applies
  Vec3 axis;                 // unit vector from the eye to the planet's centre
  float eyeDistance = 0.0f;  // from the eye to the planet's centre
  float sinCone = 0.0f;      // the occluder's silhouette cone seen from the eye
  float cosCone = 1.0f;
  float behind = 0.0f;  // distance along the axis from the eye to the silhouette's plane
};

// The view volume of a view-projection matrix (OpenGL clip space, column vectors). The planet
// occludes when innerRadius > 0 and the eye is farther from the centre than outerRadius (the
// farthest point of the surface); otherwise only the view volume culls.
CullView CullViewMake(const Matrix44& viewProjection, const Vec3& eye, float innerRadius, float outerRadius);

// True when some of the ball may be seen: it is not wholly outside one of the view volume's
// planes, and not wholly hidden behind the planet. Conservative: a ball that touches a plane
// or the planet's silhouette counts as seen.
bool CullSphereVisible(const CullView& view, const Vec3& centre, float radius);

// The ball that holds a model's box wherever an instance places it: the box's centre and half
// its diagonal, in the model's own units.
struct CullBounds {
  Vec3 centre;
  float radius = -1.0f;  // negative: nothing to cull by (an empty model)
};
CullBounds CullBoundsOfBox(const Aabb& box);

// Copies the instances whose placed bounds may be seen, in their order, to out (room for count).
// Each instance's ball is the model's ball moved by its matrix and grown by its largest axis
// scale. Returns the number copied.
int CullInstances(const CullView& view, const CullBounds& bounds, const Matrix44* in, int count, Matrix44* out);

// The planet mesh in chunks: its triangles and its lines sorted by the patch of the sphere they
// lie over (a grid on each face of a cube), each chunk with the ball around its vertices, drawn
// through an index list that points into the unchanged vertex buffer. Identical vertices share
// one index, so the vertex stage shades each of them once per chunk.
struct PlanetChunks {
  int32_t chunkCount = 0;
  // Per chunk: where its triangles' and its lines' indices start in the index list, how many,
  // and its bounds.
  int32_t* triFirst = nullptr;
  int32_t* triCount = nullptr;
  int32_t* lineFirst = nullptr;
  int32_t* lineCount = nullptr;
  Vec3* centre = nullptr;
  float* radius = nullptr;
  uint32_t* indices = nullptr;  // triangles of every chunk, then lines of every chunk (null once uploaded)
  int64_t indexCount = 0;
  float innerRadius = 0.0f;  // no point of the surface lies nearer the centre than this
  float outerRadius = 0.0f;  // nor farther than this
  // The drawing's scratch for one frame's visible runs, chunkCount of each.
  int32_t* runFirst = nullptr;
  int32_t* runCount = nullptr;
  const void** runOffsets = nullptr;

  PlanetChunks() = default;
  ~PlanetChunks() { Free(); }
  PlanetChunks(const PlanetChunks&) = delete;
  PlanetChunks& operator=(const PlanetChunks&) = delete;
  void Free();
};

// Splits a planet mesh (triangleCount triangles, then lineCount lines, as a ".geo" lays them
// out) into grid x grid chunks on each of the six cube faces (grid 1 to 32; empty chunks are
// dropped). Primitives that cannot colour a pixel are left out: triangles with two corners in
// one place, lines of no length, and a line repeated between the same two vertices. False,
// with a log line and out emptied, for a mesh that does not fit or no memory.
bool PlanetChunksBuild(const GeoVertex* vertices, int triangleCount, int lineCount, int grid, PlanetChunks* out);

// The runs of the chunks that may be seen, merged where one ends where the next begins: for the
// triangles (lines false) or the lines, at most chunkCount runs of (first index, index count).
// Returns the number of runs.
int PlanetChunksVisible(const PlanetChunks& chunks, const CullView& view, bool lines, int32_t* first, int32_t* count);

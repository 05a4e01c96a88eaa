// Building blocks of the static ".geo" models: closed low-poly solids with per-vertex colour and outlines.
#pragma once

#include <cstdint>
#include <vector>

#include "utility/matrix44.h"
#include "world/planet/globe.h"

// A vertex colour; every model vertex is opaque.
struct Rgb {
  uint8_t r, g, b;
};
// c with each channel multiplied by f, clamped to 0..255 (f above 1 lightens).
Rgb Shade(Rgb c, float f);
// The colour a fraction t of the way from a to b.
Rgb Mix(Rgb a, Rgb b, float t);

// A point of a polygon in the XY plane (extrusions and lathes).
struct Pt2 {
  float x, y;
};

// Collects a model's triangles and outline lines. Every solid it makes is closed, with its
// triangles counter-clockwise seen from outside, so culling and the face normals the shader
// computes from the winding both come out right. Solids are placed through a transform stack;
// a mirroring transform keeps the winding correct by swapping two corners.
class MeshBuilder {
 public:
  MeshBuilder();

  // The transform stack: Push saves the current placement, Pop restores it (an unmatched Pop
  // keeps the identity). The other calls compose onto the current placement (applied first).
  void Push();
  void Pop();
  void Translate(float x, float y, float z);
  void Scale(float x, float y, float z);
  // Rotations in degrees, counter-clockwise looking down the axis toward the origin.
  void RotateX(float degrees);
  void RotateY(float degrees);
  void RotateZ(float degrees);
  // Any placement (for axes that are no single turn); applied first, like the others.
  void Apply(const Matrix44& m) { Compose(m); }

  // Outline colour factor applied to a solid's colour; 0 turns outlines off for the next solids.
  void SetOutline(float factor) { m_outline = factor; }

  // Raw pieces, in local coordinates of the current placement.
  void Triangle(const Vec3& a, const Vec3& b, const Vec3& c, Rgb ca, Rgb cb, Rgb cc);
  void Line(const Vec3& a, const Vec3& b, Rgb c);

  // A six-faced cell from its bottom corners b[0..3] and top corners t[0..3], both counter-
  // clockwise seen from above; colours per layer. Outlines along all twelve edges.
  void Cell(const Vec3 b[4], const Vec3 t[4], Rgb bottom, Rgb top);
  // An axis-aligned box.
  void Box(const Vec3& lo, const Vec3& hi, Rgb bottom, Rgb top);
  void Box(const Vec3& lo, const Vec3& hi, Rgb c) { Box(lo, hi, c, c); }
  // A frustum about the z axis with n sides (n >= 3), radius r0 at z0 and r1 at z1; r1 = 0 makes
  // a cone. phase turns the first corner (degrees from +x). Outlines on the rims and, for up to
  // eight sides, the side edges.
  void Prism(int n, float r0, float r1, float z0, float z1, Rgb c0, Rgb c1, float phase = 0.0f);
  // A bar of n sides between two points (a branch, a pole, a handle).
  void Rod(const Vec3& from, const Vec3& to, float radius, int n, Rgb c0, Rgb c1);
  // An ellipsoid of the given radii about a centre: rings of latitude (>= 2) by segments (>= 3).
  void Sphere(const Vec3& centre, const Vec3& radii, int rings, int segments, Rgb bottom, Rgb top);
  // A lying cylinder along x from x0 to x1 about the axis (y, z) = (0, r): it rests on z = 0.
  void Log(int n, float r, float x0, float x1, Rgb side, Rgb ends);
  // A simple polygon (counter-clockwise in XY, no three points in a line) extruded from z0 to z1.
  void Extrude(const std::vector<Pt2>& polygon, float z0, float z1, Rgb side, Rgb top);
  // A solid through stacked rings of equally many points (each counter-clockwise seen from above,
  // star-shaped about its mean), capped at both ends; colours per ring. Rocks, crowns of trees, roofs.
  void Loft(const std::vector<std::vector<Vec3>>& rings, const std::vector<Rgb>& colours);
  // A closed ring of n cells in the XY plane between radii r0 and r1, from z0 to z1.
  void Ring(int n, float r0, float r1, float z0, float z1, Rgb bottom, Rgb top, float phase = 0.0f);

  int TriangleCount() const { return static_cast<int>(m_tris.size() / 3); }
  int LineCount() const { return static_cast<int>(m_lines.size() / 2); }
  const std::vector<GeoVertex>& Triangles() const { return m_tris; }
  const std::vector<GeoVertex>& Lines() const { return m_lines; }
  // Moves everything made so far up or down so that the lowest triangle vertex lies on z = 0.
  void SnapToGround();
  // The whole ".geo" file: "geo ", triangle count, line count, triangle vertices, line vertices.
  std::vector<uint8_t> GeoImage() const;

 private:
  Vec3 Place(const Vec3& p) const { return m_xf.TransformPoint(p); }
  void Compose(const Matrix44& m);
  void Quad(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, Rgb ca, Rgb cb, Rgb cc, Rgb cd);
  void Edge(const Vec3& a, const Vec3& b, Rgb c);

  std::vector<GeoVertex> m_tris;
  std::vector<GeoVertex> m_lines;
  std::vector<Matrix44> m_stack;
  Matrix44 m_xf;
  bool m_mirrored = false;
  float m_outline = 0.45f;
};

// Triangulates a simple counter-clockwise polygon by ear clipping; appends index triples
// (counter-clockwise) to out. False when the polygon is degenerate or not counter-clockwise.
bool TriangulatePolygon(const std::vector<Pt2>& polygon, std::vector<int>* out);

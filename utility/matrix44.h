// Small linear-algebra kit: the 4x4 transform Matrix44, the vector Vec3 and the box Aabb.
#pragma once

#include <cfloat>
#include <cmath>
#include <type_traits>

// Three floats back to back; stored raw (12 bytes) in saves and GPU buffers.
struct Vec3 {
  float x = 0.0f, y = 0.0f, z = 0.0f;

  // Euclidean length sqrt(x*x + y*y + z*z).
  float Length() const { return sqrtf(x * x + y * y + z * z); }
  float LengthSquared() const { return x * x + y * y + z * z; }

  Vec3& operator+=(const Vec3& b) {
    x += b.x, y += b.y, z += b.z;
    return *this;
  }
  Vec3& operator-=(const Vec3& b) {
    x -= b.x, y -= b.y, z -= b.z;
    return *this;
  }
  Vec3& operator*=(float s) {
    x *= s, y *= s, z *= s;
    return *this;
  }
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return Vec3{a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return Vec3{a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(const Vec3& a) { return Vec3{-a.x, -a.y, -a.z}; }
inline Vec3 operator*(const Vec3& a, float s) { return Vec3{a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(float s, const Vec3& a) { return Vec3{a.x * s, a.y * s, a.z * s}; }
inline bool operator==(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline float Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
  return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// Unit vector in the direction of a (scaled by 1 / sqrt of the squared length).
// The zero vector has no direction and comes back unchanged rather than as NaNs.
inline Vec3 Normalize(const Vec3& a) {
  const float len2 = a.LengthSquared();
  if (len2 <= 0.0f) return a;
  return a * (1.0f / sqrtf(len2));
}

// 16 floats in column order: element 4 * c + r is row r of column c. Columns 0-2 are
// the X, Y, Z axes, column 3 the translation (elements 12-14). Column vectors: a
// point transforms as M * p, and in A * B the transform B applies first. Stored raw
// (64 bytes) in saves and instance buffers. Default construction is the identity.
struct Matrix44 {
  float m[16] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

  void SetIdentity();
  // Elements 12-14 := t; nothing else changes.
  void SetTranslation(const Vec3& t);
  // Index 0, 1, 2 sets the X, Y, Z axis column, 3 the translation; the column's
  // fourth element stays. Any other index changes nothing.
  void SetAxis(int index, const Vec3& v);

  Vec3 GetTranslation() const { return Vec3{m[12], m[13], m[14]}; }
  Vec3 GetXAxis() const { return Vec3{m[0], m[1], m[2]}; }
  Vec3 GetYAxis() const { return Vec3{m[4], m[5], m[6]}; }
  Vec3 GetZAxis() const { return Vec3{m[8], m[9], m[10]}; }

  // (M * (p, 1)) with x, y, z multiplied by 1 / w. A point on the camera plane of a
  // projection (w = 0) comes out as infinities.
  Vec3 TransformPoint(const Vec3& p) const;

  // A * B (B applies first).
  static Matrix44 Multiply(const Matrix44& a, const Matrix44& b);
  // The inverse; a (near-)singular matrix comes back as its unscaled adjugate.
  static Matrix44 Inverse(const Matrix44& a);

  static Matrix44 Translation(const Vec3& t);
  static Matrix44 Scale(const Vec3& s);
  // Rotation about a unit axis by angle radians, counter-clockwise when the axis
  // points at the viewer. A non-unit axis trips an assertion; the matrix is built anyway.
  static Matrix44 Rotation(const Vec3& axis, float angle);
  // Rotation frame with the given unit z axis and its X axis leaning toward the hint.
  static Matrix44 AlignZX(const Vec3& xHint, const Vec3& zAxis);
  // Rotation frame with the given unit z axis and its Y axis leaning toward the hint.
  static Matrix44 AlignZY(const Vec3& yHint, const Vec3& zAxis);

  // The OpenGL glFrustum, perspective and glOrtho projections.
  static Matrix44 Frustum(float left, float right, float bottom, float top, float nearZ, float farZ);
  static Matrix44 Perspective(float fovY, float aspect, float nearZ, float farZ);
  static Matrix44 Ortho(float left, float right, float bottom, float top, float nearZ, float farZ);
};

inline Matrix44 operator*(const Matrix44& a, const Matrix44& b) { return Matrix44::Multiply(a, b); }

// Axis-aligned box. The empty box has min = +FLT_MAX and max = -FLT_MAX, so the
// first point extended into it becomes both corners.
struct Aabb {
  Vec3 min = {FLT_MAX, FLT_MAX, FLT_MAX};
  Vec3 max = {-FLT_MAX, -FLT_MAX, -FLT_MAX};

  void Reset();
  void Extend(const Vec3& p);
};

// The raw layouts are part of the save file and the GPU instance format.
static_assert(sizeof(Vec3) == 12);
static_assert(sizeof(Matrix44) == 64);
static_assert(sizeof(Aabb) == 24);
static_assert(std::is_trivially_copyable_v<Vec3>);
static_assert(std::is_trivially_copyable_v<Matrix44>);
static_assert(std::is_standard_layout_v<Matrix44>);

// Matrix44, Vec3 and Aabb operations: the transforms of the world, the camera and the projections.
#include "utility/matrix44.h"

#include "utility/log.h"

void Matrix44::SetIdentity() {
  for (int i = 0; i < 16; i++) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void Matrix44::SetTranslation(const Vec3& t) {
  m[12] = t.x;
  m[13] = t.y;
  m[14] = t.z;
}

void Matrix44::SetAxis(int index, const Vec3& v) {
  if (index < 0 || index > 3) return;
  float* column = m + 4 * index;
  column[0] = v.x;
  column[1] = v.y;
  column[2] = v.z;
}

Vec3 Matrix44::TransformPoint(const Vec3& p) const {
  const float x = m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12];
  const float y = m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13];
  const float z = m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14];
  const float w = m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15];
  const float invW = 1.0f / w;
  return Vec3{x * invW, y * invW, z * invW};
}

Matrix44 Matrix44::Multiply(const Matrix44& a, const Matrix44& b) {
  Matrix44 r;
  for (int c = 0; c < 4; c++) {
    for (int row = 0; row < 4; row++) {
      r.m[4 * c + row] = a.m[row] * b.m[4 * c] + a.m[4 + row] * b.m[4 * c + 1] + a.m[8 + row] * b.m[4 * c + 2] +
                         a.m[12 + row] * b.m[4 * c + 3];
    }
  }
  return r;
}

// Closed-form cofactor expansion: each element of the adjugate is a signed sum of
// products of three source elements.
Matrix44 Matrix44::Inverse(const Matrix44& src) {
  const float* m = src.m;
  Matrix44 r;
  float* inv = r.m;
  inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
           m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
  inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] -
           m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
  inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
           m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
  inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] -
            m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
  inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] -
           m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
  inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
           m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
  inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
           m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
  inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
            m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
  inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] + m[13] * m[2] * m[7] -
           m[13] * m[3] * m[6];
  inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
           m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
  inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
            m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
  inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
            m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
  inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] - m[9] * m[2] * m[7] +
           m[9] * m[3] * m[6];
  inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] + m[8] * m[2] * m[7] -
           m[8] * m[3] * m[6];
  inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] - m[8] * m[1] * m[7] +
            m[8] * m[3] * m[5];
  inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] + m[8] * m[1] * m[6] -
            m[8] * m[2] * m[5];

  // First column of the source against the first row of the adjugate.
  const float det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
  // A (near-)singular matrix has no inverse; callers get the unscaled adjugate,
  // which is finite and keeps a degenerate transform from spreading NaNs.
  if (det > FLT_EPSILON || det < -FLT_EPSILON) {
    const float invDet = 1.0f / det;
    for (int i = 0; i < 16; i++) inv[i] *= invDet;
  }
  return r;
}

Matrix44 Matrix44::Translation(const Vec3& t) {
  Matrix44 r;
  r.SetTranslation(t);
  return r;
}

Matrix44 Matrix44::Scale(const Vec3& s) {
  Matrix44 r;
  r.m[0] = s.x;
  r.m[5] = s.y;
  r.m[10] = s.z;
  return r;
}

Matrix44 Matrix44::Rotation(const Vec3& axis, float angle) {
  ASSERTT(fabsf(axis.Length() - 1.0f) < 0.001f, "fabsf(axis.Length() - 1.0f) < 0.001f");
  const float x = axis.x, y = axis.y, z = axis.z;
  const float s = sinf(angle), c = cosf(angle), d = 1.0f - c;
  Matrix44 r;
  r.m[0] = x * x * d + c;
  r.m[1] = x * y * d + z * s;
  r.m[2] = x * z * d - y * s;
  r.m[4] = x * y * d - z * s;
  r.m[5] = y * y * d + c;
  r.m[6] = y * z * d + x * s;
  r.m[8] = x * z * d + y * s;
  r.m[9] = y * z * d - x * s;
  r.m[10] = z * z * d + c;
  return r;
}

namespace {

// Unit vector along a x b. A hint parallel to the z axis leaves no direction to
// lean toward; rather than fill a transform with NaNs (which would end up in the
// save file) the hint is swapped for the world axis furthest from z.
Vec3 PerpendicularUnit(const Vec3& a, const Vec3& b, const Vec3& zAxis, bool hintFirst) {
  Vec3 v = Cross(a, b);
  float len2 = v.LengthSquared();
  ASSERTM(len2 > 0.0f, "frame hint (%g %g %g) is parallel to the z axis", hintFirst ? a.x : b.x, hintFirst ? a.y : b.y,
          hintFirst ? a.z : b.z);
  if (!(len2 > 0.0f)) {
    const float ax = fabsf(zAxis.x), ay = fabsf(zAxis.y), az = fabsf(zAxis.z);
    Vec3 hint = (ax <= ay && ax <= az) ? Vec3{1, 0, 0} : (ay <= az ? Vec3{0, 1, 0} : Vec3{0, 0, 1});
    v = hintFirst ? Cross(hint, zAxis) : Cross(zAxis, hint);
    len2 = v.LengthSquared();
    if (!(len2 > 0.0f)) return hintFirst ? Vec3{1, 0, 0} : Vec3{0, 1, 0};  // z itself is zero or NaN
  }
  return v * (1.0f / sqrtf(len2));
}

}  // namespace

Matrix44 Matrix44::AlignZX(const Vec3& xHint, const Vec3& zAxis) {
  const Vec3 yAxis = PerpendicularUnit(zAxis, xHint, zAxis, false);
  const Vec3 xAxis = Cross(yAxis, zAxis);
  Matrix44 r;
  r.SetAxis(0, xAxis);
  r.SetAxis(1, yAxis);
  r.SetAxis(2, zAxis);
  return r;
}

Matrix44 Matrix44::AlignZY(const Vec3& yHint, const Vec3& zAxis) {
  const Vec3 xAxis = PerpendicularUnit(yHint, zAxis, zAxis, true);
  const Vec3 yAxis = Cross(zAxis, xAxis);
  Matrix44 r;
  r.SetAxis(0, xAxis);
  r.SetAxis(1, yAxis);
  r.SetAxis(2, zAxis);
  return r;
}

Matrix44 Matrix44::Frustum(float left, float right, float bottom, float top, float nearZ, float farZ) {
  const float rl = 1.0f / (right - left);
  const float tb = 1.0f / (top - bottom);
  const float fn = 1.0f / (farZ - nearZ);
  Matrix44 r;
  for (float& e : r.m) e = 0.0f;
  r.m[0] = 2.0f * nearZ * rl;
  r.m[5] = 2.0f * nearZ * tb;
  r.m[8] = (right + left) * rl;
  r.m[9] = (top + bottom) * tb;
  r.m[10] = -(farZ + nearZ) * fn;
  r.m[11] = -1.0f;
  r.m[14] = -2.0f * farZ * nearZ * fn;
  return r;
}

Matrix44 Matrix44::Perspective(float fovY, float aspect, float nearZ, float farZ) {
  const float top = tanf(fovY * 0.5f) * nearZ;
  return Frustum(-top * aspect, top * aspect, -top, top, nearZ, farZ);
}

Matrix44 Matrix44::Ortho(float left, float right, float bottom, float top, float nearZ, float farZ) {
  const float rl = 1.0f / (right - left);
  const float tb = 1.0f / (top - bottom);
  const float fn = 1.0f / (farZ - nearZ);
  Matrix44 r;
  for (float& e : r.m) e = 0.0f;
  r.m[0] = 2.0f * rl;
  r.m[5] = 2.0f * tb;
  r.m[10] = -2.0f * fn;
  r.m[12] = -(right + left) * rl;
  r.m[13] = -(top + bottom) * tb;
  r.m[14] = -(farZ + nearZ) * fn;
  r.m[15] = 1.0f;
  return r;
}

void Aabb::Reset() {
  min = Vec3{FLT_MAX, FLT_MAX, FLT_MAX};
  max = Vec3{-FLT_MAX, -FLT_MAX, -FLT_MAX};
}

void Aabb::Extend(const Vec3& p) {
  if (p.x < min.x) min.x = p.x;
  if (p.y < min.y) min.y = p.y;
  if (p.z < min.z) min.z = p.z;
  if (p.x > max.x) max.x = p.x;
  if (p.y > max.y) max.y = p.y;
  if (p.z > max.z) max.z = p.z;
}

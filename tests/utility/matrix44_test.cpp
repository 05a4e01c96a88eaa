// Matrix44, Vec3 and Aabb: inversion, rotation, projections, frames and the raw layout.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "test_support.h"
#include "utility/log.h"
#include "utility/matrix44.h"

namespace {

const float c_pi = std::numbers::pi_v<float>;

void ExpectNear(const Matrix44& a, const Matrix44& b, float tolerance) {
  for (int i = 0; i < 16; i++) EXPECT_NEAR(a.m[i], b.m[i], tolerance) << "element " << i;
}
void ExpectVecNear(const Vec3& a, const Vec3& b, float tolerance) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}
Matrix44 Diagonal(float a, float b, float c, float d) {
  Matrix44 r = Matrix44::Scale(Vec3{a, b, c});
  r.m[15] = d;
  return r;
}

std::vector<std::string> logged;
void Capture(const char* format, ...) { logged.push_back(format); }

}  // namespace

TEST(Matrix44, LayoutIsColumnOrderWithTranslationAt12) {
  static_assert(sizeof(Matrix44) == 64 && sizeof(Vec3) == 12);
  const Matrix44 identity;
  for (int i = 0; i < 16; i++) EXPECT_EQ(identity.m[i], i % 5 == 0 ? 1.0f : 0.0f);

  // Saves and instance buffers copy the 64 bytes as they stand.
  const Matrix44 t = Matrix44::Translation(Vec3{1, 2, 3});
  float raw[16];
  memcpy(raw, &t, sizeof(raw));
  EXPECT_EQ(raw[12], 1.0f);
  EXPECT_EQ(raw[13], 2.0f);
  EXPECT_EQ(raw[14], 3.0f);
  EXPECT_EQ(raw[15], 1.0f);

  Matrix44 m = Matrix44::Rotation(Vec3{0, 1, 0}, 0.3f);
  m.SetIdentity();
  EXPECT_EQ(memcmp(&m, &identity, sizeof(m)), 0);
}

TEST(Matrix44, InverseOfIdentityGeneralAndSingular) {
  const Matrix44 identity;
  EXPECT_EQ(memcmp(&identity, Matrix44::Inverse(identity).m, sizeof(identity)), 0);

  // A full transform with a projective row, so every cofactor takes part.
  Matrix44 general = Matrix44::Translation(Vec3{3, -2, 5}) * Matrix44::Rotation(Normalize(Vec3{1, 2, 3}), 0.7f) *
                     Matrix44::Scale(Vec3{2, 0.5f, 3});
  general.m[3] = 0.1f;
  general.m[7] = -0.2f;
  general.m[11] = 0.05f;
  const Matrix44 inverse = Matrix44::Inverse(general);
  ExpectNear(general * inverse, identity, 1e-5f);
  ExpectNear(inverse * general, identity, 1e-5f);
  const Vec3 p{0.3f, -1.2f, 4.0f};
  ExpectVecNear(inverse.TransformPoint(general.TransformPoint(p)), p, 1e-4f);

  // Singular and near-singular matrices come back as the unscaled adjugate, silently.
  consoleHook = Capture;
  logged.clear();
  Matrix44 zero;
  for (float& e : zero.m) e = 0.0f;
  const Matrix44 zeroInverse = Matrix44::Inverse(zero);
  for (float e : zeroInverse.m) EXPECT_EQ(e, 0.0f);
  // diag(1, 1, 0, 1) has determinant 0; its adjugate is diag(0, 0, 1, 0).
  ExpectNear(Matrix44::Inverse(Diagonal(1, 1, 0, 1)), Diagonal(0, 0, 1, 0), 0.0f);
  // Determinant 1e-7 is inside FLT_EPSILON, so even this invertible scale is not
  // inverted: the adjugate is diag(1e-4, 1e-4, 1e-6, 1e-7).
  ExpectNear(Matrix44::Inverse(Diagonal(1e-3f, 1e-3f, 0.1f, 1)), Diagonal(1e-4f, 1e-4f, 1e-6f, 1e-7f), 1e-10f);
  consoleHook = nullptr;
  EXPECT_TRUE(logged.empty());
}

TEST(Matrix44, RotationAndProductOrder) {
  const Matrix44 rz = Matrix44::Rotation(Vec3{0, 0, 1}, c_pi / 2);
  ExpectVecNear(rz.TransformPoint(Vec3{1, 0, 0}), Vec3{0, 1, 0}, 1e-6f);
  ExpectVecNear(rz.GetXAxis(), Vec3{0, 1, 0}, 1e-6f);
  ExpectVecNear(rz.GetYAxis(), Vec3{-1, 0, 0}, 1e-6f);
  ExpectVecNear(rz.GetZAxis(), Vec3{0, 0, 1}, 1e-6f);

  // In A * B the transform B applies first.
  const Matrix44 t = Matrix44::Translation(Vec3{1, 0, 0});
  ExpectVecNear((rz * t).TransformPoint(Vec3{0, 0, 0}), Vec3{0, 1, 0}, 1e-6f);
  ExpectVecNear((t * rz).TransformPoint(Vec3{0, 0, 0}), Vec3{1, 0, 0}, 1e-6f);

  // Any unit axis gives an orthonormal matrix whose inverse is its transpose.
  const Matrix44 r = Matrix44::Rotation(Normalize(Vec3{-2, 1, 0.5f}), 2.1f);
  const Matrix44 inverse = Matrix44::Inverse(r);
  for (int c = 0; c < 4; c++)
    for (int row = 0; row < 4; row++) EXPECT_NEAR(inverse.m[4 * c + row], r.m[4 * row + c], 1e-6f);

  // A non-unit axis is reported under its own text, and the matrix is still built
  // from the axis as given.
  ExpectAsserts expect;
  const Matrix44 loose = Matrix44::Rotation(Vec3{0, 0, 2}, c_pi / 2);
  EXPECT_EQ(expect.Count(), 1);
  EXPECT_TRUE(expect.Saw("fabsf(axis.Length() - 1.0f) < 0.001f"));
  EXPECT_NEAR(loose.m[1], 2.0f, 1e-6f);   // z * s
  EXPECT_NEAR(loose.m[4], -2.0f, 1e-6f);  // -z * s
  EXPECT_NEAR(loose.m[10], 4.0f, 1e-6f);  // z * z * (1 - c) + c
  EXPECT_EQ(loose.m[15], 1.0f);
}

TEST(Matrix44, ProjectionsAndPerspectiveDivide) {
  const Matrix44 perspective = Matrix44::Perspective(c_pi / 2, 2.0f, 1.0f, 10.0f);
  const Matrix44 frustum = Matrix44::Frustum(-2, 2, -1, 1, 1, 10);
  for (int i = 0; i < 16; i++) EXPECT_FLOAT_EQ(perspective.m[i], frustum.m[i]) << "element " << i;
  EXPECT_EQ(frustum.m[11], -1.0f);
  EXPECT_EQ(frustum.m[15], 0.0f);

  // Near-plane corner and far-plane centre land on the clip cube's faces after the divide.
  ExpectVecNear(frustum.TransformPoint(Vec3{2, 1, -1}), Vec3{1, 1, -1}, 1e-6f);
  ExpectVecNear(frustum.TransformPoint(Vec3{-20, -10, -10}), Vec3{-1, -1, 1}, 1e-5f);
  ExpectVecNear(frustum.TransformPoint(Vec3{0, 0, -10}), Vec3{0, 0, 1}, 1e-6f);
  // On the camera plane w is 0 and the divide gives infinities; callers must cull.
  const Vec3 onCameraPlane = frustum.TransformPoint(Vec3{1, 1, 0});
  EXPECT_TRUE(std::isinf(onCameraPlane.x) && std::isinf(onCameraPlane.y) && std::isinf(onCameraPlane.z));

  const Matrix44 ortho = Matrix44::Ortho(-2, 2, -1, 1, 1, 10);
  EXPECT_EQ(ortho.m[15], 1.0f);
  EXPECT_EQ(ortho.m[11], 0.0f);
  ExpectVecNear(ortho.TransformPoint(Vec3{2, 1, -1}), Vec3{1, 1, -1}, 1e-6f);
  ExpectVecNear(ortho.TransformPoint(Vec3{-2, -1, -10}), Vec3{-1, -1, 1}, 1e-6f);
  const Matrix44 shifted = Matrix44::Ortho(0, 1280, 0, 720, -1, 1);
  ExpectVecNear(shifted.TransformPoint(Vec3{640, 360, 0}), Vec3{0, 0, 0}, 1e-6f);
}

TEST(Matrix44, SetAxisSetTranslationAndGetters) {
  Matrix44 m;
  m.m[3] = 7.0f;
  m.m[15] = 9.0f;
  m.SetAxis(0, Vec3{1, 2, 3});
  m.SetAxis(3, Vec3{4, 5, 6});
  EXPECT_EQ(m.m[3], 7.0f);  // the fourth element of a column stays
  EXPECT_EQ(m.m[15], 9.0f);
  EXPECT_EQ(m.GetXAxis(), (Vec3{1, 2, 3}));
  EXPECT_EQ(m.GetTranslation(), (Vec3{4, 5, 6}));

  const Matrix44 before = m;
  m.SetAxis(4, Vec3{-1, -1, -1});
  m.SetAxis(-1, Vec3{-1, -1, -1});
  m.SetAxis(1000, Vec3{-1, -1, -1});
  EXPECT_EQ(memcmp(&before, &m, sizeof(m)), 0);

  m.SetTranslation(Vec3{-1, 0.5f, 2});
  EXPECT_EQ(m.GetTranslation(), (Vec3{-1, 0.5f, 2}));
  EXPECT_EQ(m.m[15], 9.0f);
  EXPECT_EQ(memcmp(before.m, m.m, 12 * sizeof(float)), 0);
}

TEST(Matrix44, AlignFramesAreOrthonormalAndSurviveAParallelHint) {
  const Vec3 z = Normalize(Vec3{0.2f, 0.9f, -0.4f});
  const Vec3 hint{1, 0, 0};
  for (int which = 0; which < 2; which++) {
    const Matrix44 f = which == 0 ? Matrix44::AlignZX(hint, z) : Matrix44::AlignZY(hint, z);
    const Vec3 x = f.GetXAxis(), y = f.GetYAxis();
    EXPECT_EQ(f.GetZAxis(), z);
    EXPECT_NEAR(x.Length(), 1.0f, 1e-6f);
    EXPECT_NEAR(y.Length(), 1.0f, 1e-6f);
    EXPECT_NEAR(Dot(x, y), 0.0f, 1e-6f);
    EXPECT_NEAR(Dot(x, z), 0.0f, 1e-6f);
    // Right-handed, and the chosen axis leans toward the hint.
    ExpectVecNear(Cross(x, y), z, 1e-6f);
    EXPECT_GT(Dot(which == 0 ? x : y, hint), 0.5f);
    EXPECT_EQ(f.GetTranslation(), (Vec3{0, 0, 0}));
    EXPECT_EQ(f.m[15], 1.0f);
  }

  // A hint along z leaves no direction: reported, and still a usable frame.
  ExpectAsserts expect;
  for (int which = 0; which < 2; which++) {
    const Matrix44 f =
        which == 0 ? Matrix44::AlignZX(Vec3{0, 0, 3}, Vec3{0, 0, 1}) : Matrix44::AlignZY(Vec3{0, 0, -1}, Vec3{0, 0, 1});
    for (float e : f.m) EXPECT_TRUE(std::isfinite(e));
    EXPECT_NEAR(f.GetXAxis().Length(), 1.0f, 1e-6f);
    EXPECT_NEAR(Dot(f.GetXAxis(), f.GetYAxis()), 0.0f, 1e-6f);
    ExpectVecNear(Cross(f.GetXAxis(), f.GetYAxis()), Vec3{0, 0, 1}, 1e-6f);
  }
  EXPECT_EQ(expect.Count(), 2);
}

TEST(Matrix44, AabbEmptyAndExtend) {
  Aabb box;
  EXPECT_EQ(box.min, (Vec3{FLT_MAX, FLT_MAX, FLT_MAX}));
  EXPECT_EQ(box.max, (Vec3{-FLT_MAX, -FLT_MAX, -FLT_MAX}));
  box.Extend(Vec3{1, -2, 3});
  EXPECT_EQ(box.min, (Vec3{1, -2, 3}));
  EXPECT_EQ(box.max, (Vec3{1, -2, 3}));
  box.Extend(Vec3{-1, 5, 3});
  EXPECT_EQ(box.min, (Vec3{-1, -2, 3}));
  EXPECT_EQ(box.max, (Vec3{1, 5, 3}));
  box.Reset();
  box.Extend(Vec3{0, 0, 0});
  EXPECT_EQ(box.min, (Vec3{0, 0, 0}));
  EXPECT_EQ(box.max, (Vec3{0, 0, 0}));
}

TEST(Vec3, ArithmeticHelpers) {
  EXPECT_EQ((Vec3{3, 4, 12}).Length(), 13.0f);
  EXPECT_EQ(Cross(Vec3{1, 0, 0}, Vec3{0, 1, 0}), (Vec3{0, 0, 1}));
  EXPECT_EQ(Dot(Vec3{1, 2, 3}, Vec3{4, -5, 6}), 12.0f);
  const Vec3 combined = (Vec3{1, 2, 3} - Vec3{1, 1, 1}) * 2.0f + Vec3{0, 0, 1};
  EXPECT_EQ(combined, (Vec3{0, 2, 5}));
  // The zero vector has no direction; it must not turn into NaNs.
  EXPECT_EQ(Normalize(Vec3{0, 0, 0}), (Vec3{0, 0, 0}));
  EXPECT_NEAR(Normalize(Vec3{1e-15f, 0, 0}).x, 1.0f, 1e-6f);
}

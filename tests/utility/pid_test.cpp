// Pid and PidVec3: refused steps, angle wrapping, resets and raw save/load continuity.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>

#include "test_support.h"
#include "utility/pid.h"

static_assert(sizeof(Pid) == 24 && offsetof(Pid, m_reset) == 20 && offsetof(Pid, m_angle) == 21);
static_assert(sizeof(PidVec3) == 40 && offsetof(PidVec3, m_integral) == 24 && offsetof(PidVec3, m_reset) == 36);

namespace {

Pid MakePid(float p, float i, float d) {
  Pid pid;
  pid.m_pGain = p;
  pid.m_iGain = i;
  pid.m_dGain = d;
  pid.Reset();
  return pid;
}

PidVec3 MakePidVec3(float p, float i, float d) {
  PidVec3 pid;
  pid.m_pGain = p;
  pid.m_iGain = i;
  pid.m_dGain = d;
  pid.Reset();
  return pid;
}

}  // namespace

TEST(Pid, StepsThatAreNotPositiveChangeNothing) {
  Pid pid = MakePid(1, 0.5f, 0.1f);
  for (int pass = 0; pass < 2; pass++) {  // once fresh (reset flag set), once mid-run
    const Pid before = pid;
    EXPECT_EQ(pid.Update(0.0f, 5, 1), 0.0f);
    EXPECT_EQ(pid.Update(-0.1f, 5, 1), 0.0f);
    EXPECT_EQ(pid.Update(NAN, 5, 1), 0.0f);
    EXPECT_EQ(memcmp(&before, &pid, sizeof(pid)), 0);
    pid.Update(0.1f, 2, 1);
  }

  PidVec3 v = MakePidVec3(1, 0.5f, 0.1f);
  for (int pass = 0; pass < 2; pass++) {
    const PidVec3 before = v;
    for (float dt : {0.0f, -1.0f, NAN}) {
      const Vec3 out = v.Update(dt, Vec3{5, 5, 5}, Vec3{1, 2, 3});
      EXPECT_EQ(out, (Vec3{0, 0, 0}));
    }
    EXPECT_EQ(memcmp(&before, &v, sizeof(v)), 0);
    v.Update(0.1f, Vec3{1, 2, 3}, Vec3{0, 0, 0});
  }
}

TEST(Pid, AngleErrorsWrapOnce) {
  Pid pid = MakePid(1, 0, 0);
  pid.m_angle = 1;
  // 3 - (-3) = 6 is really -0.28 the short way round.
  EXPECT_FLOAT_EQ(pid.Update(0.1f, 3.0f, -3.0f), 6.0f - 6.2831855f);
  EXPECT_FLOAT_EQ(pid.m_prevError, -0.2831855f);
  EXPECT_FLOAT_EQ(pid.Update(0.1f, -3.0f, 3.0f), 6.2831855f - 6.0f);
  // Exactly pi is left alone; errors beyond one turn are wrapped only once.
  EXPECT_EQ(pid.Update(0.1f, 3.1415927f, 0.0f), 3.1415927f);
  EXPECT_FLOAT_EQ(pid.Update(0.1f, 10.0f, 0.0f), 10.0f - 6.2831855f);

  Pid plain = MakePid(1, 0, 0);
  EXPECT_EQ(plain.Update(0.1f, 3.0f, -3.0f), 6.0f);
}

TEST(Pid, ResetStartsAfreshWithoutDerivativeKick) {
  // Hand-worked sequence, P = 1, I = 0.5, D = 0.1, dt = 0.5 (all values exact in float):
  // step 1 (after reset): e = 1, integral = 0.5 * 1 + 0.5 * 1 = 1, derivative 0 -> 0.5 + 1 = 1.5.
  // step 2: e = 0.5, integral = 0.5 * 1 + 0.5 * 0.5 = 0.75, derivative = -1 -> 0.375 + 0.5 - 0.1.
  Pid pid = MakePid(1, 0.5f, 0.1f);
  EXPECT_EQ(pid.Update(0.5f, 1, 0), 1.5f);
  EXPECT_FLOAT_EQ(pid.Update(0.5f, 1, 0.5f), 0.375f + 0.5f - 0.1f);
  EXPECT_EQ(pid.m_integral, 0.75f);
  EXPECT_EQ(pid.m_reset, 0);

  // Reset clears the previous error and raises the flag; gains, angle flag and
  // integral stay as they are.
  pid.m_angle = 1;
  pid.Reset();
  EXPECT_EQ(pid.m_reset, 1);
  EXPECT_EQ(pid.m_prevError, 0.0f);
  EXPECT_EQ(pid.m_integral, 0.75f);
  EXPECT_EQ(pid.m_angle, 1);
  EXPECT_EQ(pid.m_pGain, 1.0f);

  // With only the integral term the first update returns the error itself.
  pid.m_pGain = 0, pid.m_iGain = 1, pid.m_dGain = 0;
  EXPECT_EQ(pid.Update(0.25f, 2.0f, 0.0f), 2.0f);
  // With only the derivative term the first update is 0: no kick.
  pid.m_iGain = 0, pid.m_dGain = 1, pid.m_angle = 0;
  pid.Reset();
  EXPECT_EQ(pid.Update(0.01f, 3.0f, 0.0f), 0.0f);
  EXPECT_FLOAT_EQ(pid.Update(0.01f, 3.5f, 0.0f), 50.0f);

  PidVec3 v = MakePidVec3(0, 1, 0);
  v.Update(0.5f, Vec3{1, 1, 1}, Vec3{0, 0, 0});
  v.Reset();
  EXPECT_EQ(v.m_integral, (Vec3{0, 0, 0}));
  EXPECT_EQ(v.m_prevError, (Vec3{0, 0, 0}));
  EXPECT_EQ(v.m_reset, 1);
  EXPECT_EQ(v.Update(0.25f, Vec3{2, -4, 0.5f}, Vec3{0, 0, 0}), (Vec3{2, -4, 0.5f}));
  v.m_iGain = 0, v.m_dGain = 1;
  v.Reset();
  EXPECT_EQ(v.Update(0.25f, Vec3{2, -4, 0.5f}, Vec3{0, 0, 0}), (Vec3{0, 0, 0}));
}

TEST(Pid, StepOfOneSecondReplacesTheIntegral) {
  Pid pid = MakePid(0, 1, 0);
  pid.Update(0.1f, 7, 0);
  pid.Update(0.1f, -3, 0);
  EXPECT_NE(pid.m_integral, 2.0f);
  EXPECT_EQ(pid.Update(1.0f, 2, 0), 2.0f);
  EXPECT_EQ(pid.m_integral, 2.0f);

  PidVec3 v = MakePidVec3(0, 1, 0);
  v.Update(0.1f, Vec3{7, 7, 7}, Vec3{0, 0, 0});
  v.Update(0.1f, Vec3{-3, 1, 9}, Vec3{0, 0, 0});
  EXPECT_EQ(v.Update(1.0f, Vec3{2, -1, 0.5f}, Vec3{0, 0, 0}), (Vec3{2, -1, 0.5f}));
  EXPECT_EQ(v.m_integral, (Vec3{2, -1, 0.5f}));
}

TEST(Pid, RawCopyMidSequenceContinuesTheSameControl) {
  // The save file stores the records byte for byte; a loaded copy must carry on
  // exactly where the original was.
  Pid a = MakePid(1.3f, 0.7f, 0.05f);
  a.m_angle = 1;
  PidVec3 va = MakePidVec3(2.0f, 0.4f, 0.2f);
  Pid b;
  PidVec3 vb;
  b.m_pGain = 99.0f;  // whatever the slot held before loading
  vb.m_integral = Vec3{5, 5, 5};
  for (int step = 0; step < 40; step++) {
    const float dt = 1.0f / 240.0f * static_cast<float>(1 + step % 3);
    const float target = sinf(0.3f * step) * 3.5f;
    const float actual = cosf(0.2f * step) * 2.0f;
    const Vec3 vt{target, -target, 0.5f * target};
    const Vec3 vact{actual, 0.25f * actual, -actual};
    if (step == 17) {
      unsigned char saved[sizeof(Pid) + sizeof(PidVec3)];
      memcpy(saved, &a, sizeof(Pid));
      memcpy(saved + sizeof(Pid), &va, sizeof(PidVec3));
      memcpy(&b, saved, sizeof(Pid));
      memcpy(&vb, saved + sizeof(Pid), sizeof(PidVec3));
    }
    const float outA = a.Update(dt, target, actual);
    const Vec3 outVa = va.Update(dt, vt, vact);
    if (step >= 17) {
      EXPECT_EQ(b.Update(dt, target, actual), outA) << "step " << step;
      EXPECT_EQ(vb.Update(dt, vt, vact), outVa) << "step " << step;
    }
  }
  EXPECT_EQ(memcmp(&a, &b, sizeof(Pid)), 0);
  EXPECT_EQ(memcmp(&va, &vb, sizeof(PidVec3)), 0);
}

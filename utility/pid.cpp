// Pid and PidVec3 control steps: smoothed integral, derivative without a kick after a reset.
#include "utility/pid.h"

void Pid::Reset() {
  m_reset = 1;
  m_prevError = 0.0f;
}

float Pid::Update(float dt, float target, float actual) {
  // Written as !(dt > 0) so that a NaN step is refused too instead of turning the
  // stored record (and with it the save file) into NaNs.
  if (!(dt > 0.0f)) return 0.0f;
  float e = target - actual;
  if (m_angle) {
    if (e < -3.1415927f) e += 6.2831855f;
    if (e > 3.1415927f) e += -6.2831855f;
  }
  const float oldIntegral = m_reset ? e : m_integral;
  const float oldError = m_reset ? e : m_prevError;
  const float derivative = (e - oldError) / dt;
  m_prevError = e;
  m_reset = 0;
  // Exponential smoothing whose rate is the step itself: dt = 1 forgets the past.
  m_integral = (1.0f - dt) * oldIntegral + dt * e;
  return m_integral * m_iGain + e * m_pGain + derivative * m_dGain;
}

void PidVec3::Reset() {
  m_prevError = Vec3{0.0f, 0.0f, 0.0f};
  m_integral = Vec3{0.0f, 0.0f, 0.0f};
  m_reset = 1;
}

namespace {

// One component of PidVec3::Update.
float Step(float dt, float invDt, float e, float& integral, float& prevError, bool reset, float p, float i, float d) {
  const float oldIntegral = reset ? e : integral;
  const float oldError = reset ? e : prevError;
  integral = (1.0f - dt) * oldIntegral + dt * e;
  const float derivative = (e - oldError) * invDt;
  prevError = e;
  return e * p + integral * i + derivative * d;
}

}  // namespace

Vec3 PidVec3::Update(float dt, const Vec3& target, const Vec3& actual) {
  if (!(dt > 0.0f)) return Vec3{0.0f, 0.0f, 0.0f};
  const float invDt = 1.0f / dt;
  const bool reset = m_reset != 0;
  const Vec3 e = target - actual;
  Vec3 out;
  out.x = Step(dt, invDt, e.x, m_integral.x, m_prevError.x, reset, m_pGain, m_iGain, m_dGain);
  out.y = Step(dt, invDt, e.y, m_integral.y, m_prevError.y, reset, m_pGain, m_iGain, m_dGain);
  out.z = Step(dt, invDt, e.z, m_integral.z, m_prevError.z, reset, m_pGain, m_iGain, m_dGain);
  m_reset = 0;
  return out;
}

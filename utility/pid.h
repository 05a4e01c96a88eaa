// PID controllers for steering and the camera: Pid for one float, PidVec3 for a Vec3.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "utility/matrix44.h"

// Scalar controller. The save file stores it byte for byte inside the characters'
// arrays, so the layout below is part of the save format. Owners set the gains and
// the angle flag directly.
struct Pid {
  float m_pGain = 0.0f;
  float m_iGain = 0.0f;
  float m_dGain = 0.0f;
  float m_prevError = 0.0f;  // error of the last update
  float m_integral = 0.0f;   // exponentially smoothed error
  uint8_t m_reset = 1;       // 1: the next update starts afresh (no derivative kick)
  uint8_t m_angle = 0;       // 1: errors are angles in radians, wrapped into [-pi, pi]
  uint8_t m_reserved[2] = {0, 0};

  // Next update starts afresh; gains, angle flag and integral stay.
  void Reset();
  // One control step of dt seconds. A dt that is not positive returns 0 and leaves
  // the record untouched.
  float Update(float dt, float target, float actual);
};

// Three-component controller, no angle wrapping. Stored raw like Pid.
struct PidVec3 {
  float m_pGain = 0.0f;
  float m_iGain = 0.0f;
  float m_dGain = 0.0f;
  Vec3 m_prevError;
  Vec3 m_integral;
  uint8_t m_reset = 1;
  uint8_t m_reserved[3] = {0, 0, 0};

  // Clears the previous error and the integral; the next update starts afresh.
  void Reset();
  // One control step, component by component. A dt that is not positive returns the
  // zero vector and leaves the record untouched.
  Vec3 Update(float dt, const Vec3& target, const Vec3& actual);
};

// The save format depends on these exact layouts.
static_assert(std::is_trivially_copyable_v<Pid>);
static_assert(std::is_standard_layout_v<Pid>);
static_assert(sizeof(Pid) == 24);
static_assert(offsetof(Pid, m_pGain) == 0);
static_assert(offsetof(Pid, m_iGain) == 4);
static_assert(offsetof(Pid, m_dGain) == 8);
static_assert(offsetof(Pid, m_prevError) == 12);
static_assert(offsetof(Pid, m_integral) == 16);
static_assert(offsetof(Pid, m_reset) == 20);
static_assert(offsetof(Pid, m_angle) == 21);
static_assert(offsetof(Pid, m_reserved) == 22);

static_assert(std::is_trivially_copyable_v<PidVec3>);
static_assert(std::is_standard_layout_v<PidVec3>);
static_assert(sizeof(PidVec3) == 40);
static_assert(offsetof(PidVec3, m_pGain) == 0);
static_assert(offsetof(PidVec3, m_iGain) == 4);
static_assert(offsetof(PidVec3, m_dGain) == 8);
static_assert(offsetof(PidVec3, m_prevError) == 12);
static_assert(offsetof(PidVec3, m_integral) == 24);
static_assert(offsetof(PidVec3, m_reset) == 36);
static_assert(offsetof(PidVec3, m_reserved) == 37);

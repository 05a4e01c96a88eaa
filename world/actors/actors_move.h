// Character movement: steering over the sphere, the fall from the sky and the rise, hunger, path following and
// animation choice.
#pragma once

#include <cstdint>

#include "world/actors/actors.h"

// Animation sequences in the order of animationNames; m_animSeq holds one of these rows.
enum AnimationSeq : int64_t {
  ANIM_IDLE = 0,
  ANIM_WALK,
  ANIM_CASTMAGIC,
  ANIM_DEATH,
  ANIM_SPAWN,
  ANIM_ATTACKB,
  ANIM_ATTACKA,
  ANIM_ATTACKC,
  ANIM_HITFRONT,
  ANIM_RUNSCARED,
  ANIM_JUMP,
};
#define NUMANIMATIONS 11
// The drawing looks these names up in the character's animated model.
extern const char* const animationNames[NUMANIMATIONS];
// The name of a sequence row, or null when the value names none (a damaged save).
const char* AnimationName(int64_t seq);

// Walking speed limit in tile widths per second, and the road's multiplier above it.
constexpr float c_speedCap = 0.85f;
constexpr float c_roadSpeedFactor = 1.6f;
// Highest angular velocity, and how far one step of it turns the heading (not scaled by dt).
constexpr float c_angularLimit = 5.0f;
constexpr float c_turnPerStep = 0.02f;
// Falling and rising speed in tile widths per second.
constexpr float c_fallSpeed = 3.0f;
// Seconds without food before a character goes to eat.
constexpr float c_hungerSeconds = 900.0f;
// Lengths of the climbing-out and relieving sequences, in seconds.
constexpr float c_climbSeconds = 2.5f;
constexpr float c_poopSeconds = 1.3f;
// Within this fraction of a tile width from the border the height blends toward the neighbour.
constexpr float c_borderBlend = 0.2f;

// Cameras and picking: the orbiting planet camera, the intro camera that follows the player's character, their blend,
// and the maths that finds the tile and character under the pointer.
#pragma once

#include <cstdint>

#include "utility/matrix44.h"
#include "utility/pid.h"

struct Wld;
struct Actors;

// Limits of the planet camera's zoom (height above the surface) and tilt (radians).
constexpr float c_zoomMin = 0.12f;
constexpr float c_zoomMax = 2.0f;
constexpr float c_tiltMax = 1.0053097f;
// A blend between the cameras advances by this much per second of game time.
constexpr float c_camBlendRate = 0.6f;
// Camera numbers of the Vis's camFrom and camTo.
constexpr int c_camPlanet = 0;
constexpr int c_camIntro = 1;

// The camera that orbits the planet under the player's control.
struct PlanetCamera {
  Pid m_zoomPid;
  float m_zoom;
  float m_zoomTarget;
  Vec3 m_grab;  // unit grab vector of the previous frame in camera axes, zero when none
  uint8_t m_dragging;
  Matrix44 m_orientation;  // rotation of the camera around the planet's centre
  uint8_t m_rightHeld;
  uint8_t m_middleHeld;
  float m_tilt;       // tilt at the lowest zoom
  Matrix44 m_matrix;  // camera to world
};

// The camera that follows the player's character as it falls and as it rises.
struct IntroCamera {
  float m_speed;
  Matrix44 m_matrix;  // camera to world
};

void PlanetCameraInit(PlanetCamera* camera);
void IntroCameraInit(IntroCamera* camera);
// Turns the planet camera to look at the planet from direction d (no translation).
void CameraLookFrom(PlanetCamera* camera, const Vec3& d);
// Moves the zoom toward its target once per step and rebuilds the camera matrix.
void PlanetCameraStep(PlanetCamera* camera, int steps, float dt, float radius);
// Follows the player's character (Actors::FindPlayer, the same rule as everywhere else); stays
// still while there is none.
void IntroCameraStep(IntroCamera* camera, float dt, const Wld& world);
// Puts the intro camera 1.3 from the centre above the player's character's tile; its axes stay.
// False (nothing moves) without a player's character on a valid tile.
bool IntroCameraAim(IntroCamera* camera, const Wld& world);
// The camera halfway along the arc from a to b at t (smoothstep), at a smoothly changing distance.
Matrix44 CameraBlend(const Matrix44& a, const Matrix44& b, float t);
// The camera of this moment: the blend while one runs, else the "to" camera.
Matrix44 CameraSelect(const PlanetCamera& planet, const IntroCamera& intro, int from, int to, float blend);
// Keeps the zoom target and tilt within their limits.
void CameraClamp(PlanetCamera* camera);
// Whole wheel notches: each one toward the planet (positive) multiplies the target by 0.9.
void CameraWheel(PlanetCamera* camera, float wheel);

// The point under the pointer (x, y in window units from the top) at a depth-buffer value.
Vec3 PickUnproject(const Matrix44& viewProjection, float x, float y, float depth, int width, int height);
// The tile whose transform's translation is nearest to p (lower index on ties), -1 for none.
int PickNearestTile(const Matrix44* tileTransforms, int tileCount, const Vec3& p);
// The ground point under a pixel without a depth value: the ray through the pixel meets the sphere
// through the nearest tile's centre (twice, so the tile's own height counts). False when the ray
// misses the planet.
bool PickGroundPoint(const Matrix44& viewProjection, float x, float y, int width, int height,
                     const Matrix44* tileTransforms, int tileCount, Vec3* p);
// The character nearest to p when closer than half a tile width, else -1.
int PickNearestActor(const Actors& actors, const Vec3& p, float hexw);
// Where the ray from the camera through p meets the unit sphere, seen in camera axes and made
// unit length (the grab vector). False and zero when the ray misses or the sphere lies behind.
bool PickGrabVector(const Vec3& cameraPos, const Vec3& p, const Matrix44& view, Vec3* grab);
// Drag anchoring and turning the globe from this frame's grab vector g.
void CameraGrabUpdate(PlanetCamera* camera, const Vec3& g, bool hit);
// Right button: tilt (when mouseTilt) and spin about the axis through the camera; middle: zoom.
void CameraPointerControl(PlanetCamera* camera, const Matrix44& current, float dx, float dy, bool mouseTilt);

// What the pointer picked and what the tile window shows. Every index refers to the world it
// was taken in; PickStateFollowWorld forgets them all when the world changes, so a smaller new
// planet is never indexed with an old tile number.
struct PickState {
  int32_t m_hoverTile = -1;
  int32_t m_hoverActor = -1;
  int32_t m_clickTile = -1;
  int32_t m_clickActor = -1;
  int32_t m_infoTile = -1;
  const Wld* m_world = nullptr;  // the world the indices belong to (compared, never read)
  int32_t m_worldTiles = 0;
  int32_t m_worldActors = 0;
};
void PickStateReset(PickState* state);
// Resets the indices when the world is another one or its tile count changed, and drops any
// index outside the world as it is now. True when anything was forgotten.
bool PickStateFollowWorld(PickState* state, const Wld* world);

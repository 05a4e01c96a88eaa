// Cameras and picking: the orbiting planet camera, the intro camera that follows the player's character, their blend,
// and the maths that finds the tile and character under the pointer.
#include "graphics/vis/camera.h"

#include <cmath>

#include "world/wld.h"

// Components this close to zero count as a missing grab vector.
constexpr float c_grabEpsilon = 1.1920929e-07f;
// Pointer motion to radians for the right-button spin and tilt.
constexpr float c_spinPerPixel = 0.0028f;

void PlanetCameraInit(PlanetCamera* camera) {
  camera->m_zoomPid = Pid{};
  camera->m_zoomPid.m_pGain = -5.0f;
  camera->m_zoomPid.m_iGain = -0.25f;
  camera->m_zoomPid.m_dGain = -0.125f;
  camera->m_zoomPid.m_angle = 0;
  camera->m_zoomPid.Reset();
  camera->m_zoom = 0.24f;
  camera->m_zoomTarget = 0.24f;
  camera->m_grab = Vec3{};
  camera->m_dragging = 0;
  camera->m_orientation = Matrix44{};
  camera->m_rightHeld = 0;
  camera->m_middleHeld = 0;
  camera->m_tilt = 0.8042478f;
  camera->m_matrix = Matrix44{};
}

void IntroCameraInit(IntroCamera* camera) {
  camera->m_speed = 0.0f;
  camera->m_matrix = Matrix44::Translation(Vec3{0.0f, 0.0f, 2.0f});
}

void CameraLookFrom(PlanetCamera* camera, const Vec3& d) {
  if (d.LengthSquared() <= 0.0f) return;  // no direction to look from: keep the old one
  camera->m_orientation = Matrix44::AlignZY(Vec3{0.0f, 0.0f, 1.0f}, Normalize(d));
}

void PlanetCameraStep(PlanetCamera* camera, int steps, float dt, float radius) {
  for (int i = 0; i < steps; ++i)
    camera->m_zoom += camera->m_zoomPid.Update(dt, camera->m_zoom, camera->m_zoomTarget) * dt;
  // Full tilt close to the ground, fading out as the camera pulls back.
  const float tiltAngle = expf((camera->m_zoom - c_zoomMin) / (c_zoomMax - c_zoomMin) * -4.0f) * camera->m_tilt;
  camera->m_matrix = camera->m_orientation * Matrix44::Translation(Vec3{0.0f, 0.0f, camera->m_zoom + radius}) *
                     Matrix44::Rotation(Vec3{1.0f, 0.0f, 0.0f}, tiltAngle);
}

void IntroCameraStep(IntroCamera* camera, float dt, const Wld& world) {
  const Actors& actors = world.actors;
  const int player = actors.FindPlayer();
  if (player < 0) return;
  const Matrix44& trf = actors.m_trfs[player];
  const Vec3 p = trf.GetTranslation();
  const float dist = p.Length();
  if (!(dist > 0.0f)) return;
  const Vec3 u = p * (1.0f / dist);
  const float s = world.globe.m_hexw;
  Vec3 c = camera->m_matrix.GetTranslation();
  if (dist <= 1.18f && !(actors.m_stat[player] & ST_ASCENDING)) {
    // Landed: sink toward the planet and slow down.
    camera->m_speed = (1.0f - dt) * camera->m_speed;
    c = c - u * (camera->m_speed * dt);
  } else {
    // Falling or rising: hang above the character, a little ahead of it.
    camera->m_speed = 0.3f * s;
    c = p + u * (1.2f * s) + trf.GetZAxis() * (0.24f * s);
  }
  camera->m_matrix = Matrix44::AlignZY(Vec3{0.0f, 0.0f, 1.0f}, u);
  camera->m_matrix.SetTranslation(c);
}

bool IntroCameraAim(IntroCamera* camera, const Wld& world) {
  const int tile = world.actors.PlayerLocation();
  if (!world.globe.IsValid(tile) || !world.globe.m_trfs) return false;
  const Vec3 p = world.globe.m_trfs[tile].GetTranslation();
  if (p.LengthSquared() <= 0.0f) return false;
  camera->m_matrix.SetTranslation(Normalize(p) * 1.3f);
  return true;
}

Matrix44 CameraBlend(const Matrix44& a, const Matrix44& b, float t) {
  const float s = (3.0f - 2.0f * t) * t * t;
  const float r = 1.0f - s;
  const Vec3 y = Normalize(a.GetYAxis() * r + b.GetYAxis() * s);
  const Vec3 z = Normalize(a.GetZAxis() * r + b.GetZAxis() * s);
  const Vec3 pa = a.GetTranslation(), pb = b.GetTranslation();
  // Along the arc around the planet rather than through it.
  const Vec3 p = Normalize(pa * r + pb * s) * (pa.Length() * r + pb.Length() * s);
  Matrix44 m = Matrix44::AlignZY(y, z);
  m.SetTranslation(p);
  return m;
}

Matrix44 CameraSelect(const PlanetCamera& planet, const IntroCamera& intro, int from, int to, float blend) {
  const Matrix44& toMatrix = to == c_camPlanet ? planet.m_matrix : intro.m_matrix;
  if (blend < 1.0f && from != to) {
    const Matrix44& fromMatrix = from == c_camPlanet ? planet.m_matrix : intro.m_matrix;
    return CameraBlend(fromMatrix, toMatrix, blend < 0.0f ? 0.0f : blend);
  }
  return toMatrix;
}

void CameraClamp(PlanetCamera* camera) {
  if (!(camera->m_zoomTarget >= c_zoomMin)) camera->m_zoomTarget = c_zoomMin;
  if (camera->m_zoomTarget > c_zoomMax) camera->m_zoomTarget = c_zoomMax;
  if (!(camera->m_tilt >= 0.0f)) camera->m_tilt = 0.0f;
  if (camera->m_tilt > c_tiltMax) camera->m_tilt = c_tiltMax;
}

void CameraWheel(PlanetCamera* camera, float wheel) {
  // Whole notches only; a huge value from a broken device is bounded by the clamp that follows.
  const float clamped = wheel > 100.0f ? 100.0f : wheel < -100.0f ? -100.0f : wheel;
  const int n = static_cast<int>(clamped);
  for (int i = 0; i < n; ++i) camera->m_zoomTarget *= 0.9f;
  for (int i = 0; i < -n; ++i) camera->m_zoomTarget /= 0.9f;
}

Vec3 PickUnproject(const Matrix44& viewProjection, float x, float y, float depth, int width, int height) {
  const float w = width > 0 ? static_cast<float>(width) : 1.0f;
  const float h = height > 0 ? static_cast<float>(height) : 1.0f;
  const Vec3 ndc{2.0f * x / w - 1.0f, 2.0f * (h - 1.0f - y) / h - 1.0f, 2.0f * depth - 1.0f};
  return Matrix44::Inverse(viewProjection).TransformPoint(ndc);
}

int PickNearestTile(const Matrix44* tileTransforms, int tileCount, const Vec3& p) {
  if (!tileTransforms) return -1;
  int best = -1;
  float bestDist = 0.0f;
  for (int n = 0; n < tileCount; ++n) {
    const float d = (tileTransforms[n].GetTranslation() - p).LengthSquared();
    if (best < 0 || d < bestDist) best = n, bestDist = d;
  }
  return best;
}

// Nearest crossing of the ray (origin o, unit direction r) with the sphere of radius rad at the
// origin, in front of o.
static bool RaySphere(const Vec3& o, const Vec3& r, float rad, Vec3* hit) {
  const float b = Dot(r, o);
  const float disc = b * b - (Dot(o, o) - rad * rad);
  if (!(disc >= 0.0f)) return false;
  const float root = sqrtf(disc);
  const float t = -b - root >= 0.0f ? -b - root : -b + root;
  if (!(t >= 0.0f)) return false;
  *hit = o + r * t;
  return true;
}

bool PickGroundPoint(const Matrix44& viewProjection, float x, float y, int width, int height,
                     const Matrix44* tileTransforms, int tileCount, Vec3* p) {
  const Vec3 nearP = PickUnproject(viewProjection, x, y, 0.0f, width, height);
  const Vec3 farP = PickUnproject(viewProjection, x, y, 1.0f, width, height);
  const Vec3 r = Normalize(farP - nearP);
  if (!(r.LengthSquared() > 0.0f)) return false;
  Vec3 hit;
  if (!RaySphere(nearP, r, 1.0f, &hit)) return false;
  for (int pass = 0; pass < 2; ++pass) {
    const int tile = PickNearestTile(tileTransforms, tileCount, hit);
    if (tile < 0) break;
    const float rad = tileTransforms[tile].GetTranslation().Length();
    Vec3 raised;
    if (!(rad > 0.0f) || !RaySphere(nearP, r, rad, &raised)) break;
    hit = raised;
  }
  *p = hit;
  return true;
}

int PickNearestActor(const Actors& actors, const Vec3& p, float hexw) {
  int best = -1;
  float bestDist = 0.0f;
  const int count = actors.m_cnt < 0 ? 0 : actors.m_cnt > MAXACTORS ? MAXACTORS : actors.m_cnt;
  for (int n = 0; n < count; ++n) {
    const float d = (actors.m_trfs[n].GetTranslation() - p).LengthSquared();
    if (best < 0 || d < bestDist) best = n, bestDist = d;
  }
  return best >= 0 && bestDist < 0.25f * hexw * hexw ? best : -1;
}

bool PickGrabVector(const Vec3& cameraPos, const Vec3& p, const Matrix44& view, Vec3* grab) {
  *grab = Vec3{};
  const Vec3 r = Normalize(p - cameraPos);
  if (r.LengthSquared() <= 0.0f) return false;
  const float b = Dot(r, cameraPos);
  const float q = Dot(cameraPos, cameraPos) - 1.0f;
  const float disc = b * b - q;
  if (!(disc >= 0.0f)) return false;
  const float root = sqrtf(disc);
  const float t = fminf(-b + root, -b - root);
  if (!(t >= 0.0f)) return false;
  const Vec3 hit = cameraPos + r * t;
  // The hit point seen in the camera's axes: the view's rotation only.
  const Vec3 local{view.m[0] * hit.x + view.m[4] * hit.y + view.m[8] * hit.z,
                   view.m[1] * hit.x + view.m[5] * hit.y + view.m[9] * hit.z,
                   view.m[2] * hit.x + view.m[6] * hit.y + view.m[10] * hit.z};
  if (local.LengthSquared() <= 0.0f) return false;
  *grab = Normalize(local);
  return true;
}

static bool IsZero(const Vec3& v) {
  return fabsf(v.x) <= c_grabEpsilon && fabsf(v.y) <= c_grabEpsilon && fabsf(v.z) <= c_grabEpsilon;
}

void CameraGrabUpdate(PlanetCamera* camera, const Vec3& g, bool hit) {
  if (!camera->m_dragging || IsZero(camera->m_grab) || IsZero(g)) {
    // Not dragging, or the anchor is (re)taken: a drag that left the planet restarts cleanly.
    camera->m_grab = g;
    return;
  }
  if (!hit) return;
  float c = Dot(g, camera->m_grab);
  c = c < -1.0f ? -1.0f : c > 1.0f ? 1.0f : c;
  const float angle = acosf(c);
  if (fabsf(angle) > 0.001f) {
    const Vec3 axis = Cross(g, camera->m_grab);
    if (axis.LengthSquared() > 0.0f) {
      camera->m_orientation = camera->m_orientation * Matrix44::Rotation(Normalize(axis), angle);
      camera->m_grab = g;
    }
  }
}

void CameraPointerControl(PlanetCamera* camera, const Matrix44& current, float dx, float dy, bool mouseTilt) {
  if (camera->m_rightHeld) {
    if (mouseTilt) camera->m_tilt -= c_spinPerPixel * dy;
    const Vec3 a = current.GetTranslation();
    if (a.LengthSquared() > 0.0f)
      camera->m_orientation = Matrix44::Rotation(Normalize(a), -c_spinPerPixel * dx) * camera->m_orientation;
  }
  if (camera->m_middleHeld) camera->m_zoomTarget += dy * 0.01f;
}

void PickStateReset(PickState* state) {
  state->m_hoverTile = state->m_hoverActor = -1;
  state->m_clickTile = state->m_clickActor = -1;
  state->m_infoTile = -1;
}

bool PickStateFollowWorld(PickState* state, const Wld* world) {
  const int tiles = world ? world->globe.m_sz : 0;
  const int actors = world ? world->actors.m_cnt : 0;
  bool forgot = false;
  if (world != state->m_world || tiles != state->m_worldTiles) {
    const bool hadAny = state->m_hoverTile >= 0 || state->m_hoverActor >= 0 || state->m_clickTile >= 0 ||
                        state->m_clickActor >= 0 || state->m_infoTile >= 0;
    PickStateReset(state);
    forgot = hadAny;
  }
  state->m_world = world;
  state->m_worldTiles = tiles;
  state->m_worldActors = actors;
  // A world that shrank in place (a load into the same record) is caught here.
  int32_t* tileFields[] = {&state->m_hoverTile, &state->m_clickTile, &state->m_infoTile};
  for (int32_t* f : tileFields)
    if (*f >= tiles) *f = -1, forgot = true;
  int32_t* actorFields[] = {&state->m_hoverActor, &state->m_clickActor};
  for (int32_t* f : actorFields)
    if (*f >= actors) *f = -1, forgot = true;
  return forgot;
}

// Cameras and picking: the zoom controller, wheel notches, the blend along the arc, the pick radius and the pick state.
#include "graphics/vis/camera.h"

#include <gtest/gtest.h>

#include <cmath>

#include "graphics/vis_world_fixture.h"
#include "test_support.h"

TEST(Camera, ZoomSettlesWithoutOvershoot) {
  PlanetCamera cam;
  PlanetCameraInit(&cam);
  const float dt = 1.0f / 240.0f;
  // Target equal to the zoom: nothing moves.
  for (int i = 0; i < 240; ++i) PlanetCameraStep(&cam, 1, dt, 1.0f);
  EXPECT_FLOAT_EQ(cam.m_zoom, 0.24f);
  cam.m_zoomTarget = 2.0f;
  float highest = 0.0f, atOneSecond = 0.0f;
  for (int frame = 0; frame < 60 * 10; ++frame) {
    PlanetCameraStep(&cam, 4, dt, 1.0f);
    highest = std::max(highest, cam.m_zoom);
    if (frame == 59) atOneSecond = cam.m_zoom;
  }
  EXPECT_GT(atOneSecond, 1.0f);  // most of the way within a second
  EXPECT_LT(highest, 2.1f);      // no far overshoot
  EXPECT_NEAR(cam.m_zoom, 2.0f, 0.01f);
  // The matrix stands at zoom + radius above the planet with almost no tilt when far out.
  EXPECT_NEAR(cam.m_matrix.GetTranslation().Length(), 3.0f, 0.02f);
}

TEST(Camera, WheelNotchesAndClamps) {
  struct Case {
    float start, wheel, expect;
  } cases[] = {
      {1.0f, 3.0f, 0.729f},                             // three notches closer
      {1.0f, -2.0f, 1.0f / 0.81f}, {1.0f, 0.6f, 1.0f},  // less than a notch does nothing
      {0.13f, 5.0f, 0.12f},                             // clamped at the nearest
      {1.9f, -9.0f, 2.0f},                              // and the farthest
      {1.0f, 1e30f, 0.12f},                             // a broken wheel value stays bounded
  };
  for (const Case& c : cases) {
    PlanetCamera cam;
    PlanetCameraInit(&cam);
    cam.m_zoomTarget = c.start;
    CameraWheel(&cam, c.wheel);
    CameraClamp(&cam);
    EXPECT_NEAR(cam.m_zoomTarget, c.expect, 1e-4f) << c.start << " " << c.wheel;
  }
  PlanetCamera cam;
  PlanetCameraInit(&cam);
  cam.m_tilt = -1.0f;
  CameraClamp(&cam);
  EXPECT_EQ(cam.m_tilt, 0.0f);
  cam.m_tilt = NAN;
  CameraClamp(&cam);
  EXPECT_EQ(cam.m_tilt, 0.0f);
}

TEST(Camera, BlendTravelsAlongTheArc) {
  Matrix44 a = Matrix44::AlignZY(Vec3{0, 0, 1}, Vec3{1, 0, 0});
  a.SetTranslation(Vec3{3, 0, 0});
  Matrix44 b = Matrix44::AlignZY(Vec3{0, 0, 1}, Vec3{0, 1, 0});
  b.SetTranslation(Vec3{0, 1.4f, 0});
  const Matrix44 half = CameraBlend(a, b, 0.5f);
  const Vec3 p = half.GetTranslation();
  EXPECT_NEAR(p.Length(), (3.0f + 1.4f) / 2, 1e-5f);  // the mean of the distances
  EXPECT_GT(p.x, 0.0f);                               // on the arc between them
  EXPECT_GT(p.y, 0.0f);
  EXPECT_NEAR(p.z, 0.0f, 1e-6f);
  const Matrix44 start = CameraBlend(a, b, 0.0f), end = CameraBlend(a, b, 1.0f);
  EXPECT_NEAR((start.GetTranslation() - a.GetTranslation()).Length(), 0.0f, 1e-5f);
  EXPECT_NEAR((end.GetTranslation() - b.GetTranslation()).Length(), 0.0f, 1e-5f);
  EXPECT_NEAR(Dot(end.GetZAxis(), b.GetZAxis()), 1.0f, 1e-5f);

  PlanetCamera planet;
  IntroCamera intro;
  PlanetCameraInit(&planet);
  IntroCameraInit(&intro);
  planet.m_matrix = a;
  intro.m_matrix = b;
  // No blend running: the "to" camera as it is.
  EXPECT_EQ(CameraSelect(planet, intro, 1, 0, 1.0f).GetTranslation(), a.GetTranslation());
  EXPECT_EQ(CameraSelect(planet, intro, 1, 1, 0.2f).GetTranslation(), b.GetTranslation());
  EXPECT_NEAR(CameraSelect(planet, intro, 0, 1, 0.5f).GetTranslation().Length(), 2.2f, 1e-5f);
}

TEST(Camera, PickRadiusAndPointerRules) {
  Wld* world = MakeSmallWorld();
  ASSERT_NE(world, nullptr);
  const float hexw = world->globe.m_hexw;
  Actors& actors = world->actors;
  ASSERT_GT(actors.m_cnt, 0);
  const Vec3 p0 = actors.m_trfs[0].GetTranslation();
  // Move every other character out of the way.
  for (int n = 1; n < actors.m_cnt; ++n) actors.m_trfs[n].SetTranslation(Vec3{0, 0, 50.0f + n});
  const Vec3 side = Normalize(Cross(p0, Vec3{0.3f, 0.2f, 0.9f}));
  EXPECT_EQ(PickNearestActor(actors, p0 + side * (0.4f * hexw), hexw), 0);
  EXPECT_EQ(PickNearestActor(actors, p0 + side * (0.6f * hexw), hexw), -1);

  // A tile's own centre picks that tile; an equal distance picks the lower index.
  const Globe& g = world->globe;
  for (int t : {0, 11, 12, g.m_sz - 1}) EXPECT_EQ(PickNearestTile(g.m_trfs, g.m_sz, g.m_trfs[t].GetTranslation()), t);
  Matrix44 twins[2];
  EXPECT_EQ(PickNearestTile(twins, 2, Vec3{1, 1, 1}), 0);
  EXPECT_EQ(PickNearestTile(nullptr, 5, Vec3{}), -1);

  // Unprojection inverts the view-projection for a point in front of the camera.
  Matrix44 cam = Matrix44::AlignZY(Vec3{0, 0, 1}, Vec3{0, -1, 0});
  cam.SetTranslation(Vec3{0, -3, 0});
  const Matrix44 view = Matrix44::Inverse(cam);
  const Matrix44 vp = Matrix44::Perspective(0.7853982f, 1280.0f / 720.0f, 0.01f, 10.0f) * view;
  const Vec3 target{0.2f, -1.0f, 0.1f};
  const Vec3 ndc = vp.TransformPoint(target);
  const float x = (ndc.x + 1) * 0.5f * 1280, y = 720 - 1 - (ndc.y + 1) * 0.5f * 720;
  const Vec3 back = PickUnproject(vp, x, y, (ndc.z + 1) * 0.5f, 1280, 720);
  EXPECT_NEAR((back - target).Length(), 0.0f, 1e-3f);

  // Grab vectors: the ray toward the centre hits; a ray past the planet gives none.
  Vec3 grab;
  EXPECT_TRUE(PickGrabVector(cam.GetTranslation(), Vec3{0, 0, 0}, view, &grab));
  EXPECT_NEAR(grab.z, 1.0f, 1e-5f);  // the near side faces the camera
  EXPECT_FALSE(PickGrabVector(cam.GetTranslation(), Vec3{5, 0, 0}, view, &grab));
  EXPECT_EQ(grab, Vec3{});

  // A drag that leaves the planet drops its anchor and restarts cleanly on return.
  PlanetCamera pc;
  PlanetCameraInit(&pc);
  pc.m_dragging = 1;
  CameraGrabUpdate(&pc, Vec3{0, 0, 1}, true);
  EXPECT_EQ(pc.m_grab, (Vec3{0, 0, 1}));
  const Vec3 moved = Normalize(Vec3{0.1f, 0, 1});
  CameraGrabUpdate(&pc, moved, true);
  EXPECT_NE(pc.m_orientation.m[0], 1.0f);  // turned
  const Matrix44 turned = pc.m_orientation;
  CameraGrabUpdate(&pc, Vec3{}, false);  // off the planet
  EXPECT_EQ(pc.m_grab, Vec3{});
  CameraGrabUpdate(&pc, Vec3{0, 0.3f, 0.95f}, true);  // back: new anchor, no jump
  EXPECT_EQ(pc.m_orientation.m[0], turned.m[0]);
  delete world;
}

TEST(Camera, IntroCameraFollowsThePlayerRule) {
  Wld* world = MakeSmallWorld();
  ASSERT_NE(world, nullptr);
  Actors& actors = world->actors;
  ASSERT_GE(actors.m_cnt, 3);
  // Two characters marked as the player's: every look-up takes the first.
  for (int n = 0; n < actors.m_cnt; ++n) actors.m_stat[n] &= ~static_cast<uint64_t>(ST_CHOSEN);
  actors.m_stat[1] |= ST_CHOSEN;
  actors.m_stat[2] |= ST_CHOSEN;
  ASSERT_EQ(actors.FindPlayer(), 1);
  for (int n : {1, 2}) {
    const Vec3 up = Normalize(world->globe.m_trfs[actors.m_loca[n]].GetTranslation());
    actors.m_trfs[n] = Matrix44::AlignZY(Vec3{0, 0, 1}, up);
    actors.m_trfs[n].SetTranslation(up * 1.5f);  // still in the sky
  }
  IntroCamera intro;
  IntroCameraInit(&intro);
  IntroCameraStep(&intro, 1.0f / 240.0f, *world);
  const Vec3 p1 = actors.m_trfs[1].GetTranslation();
  // Above the first player's character: 1.2 tile widths out and 0.24 along its own Z (also up here).
  EXPECT_NEAR((intro.m_matrix.GetTranslation() - p1).Length(), 1.44f * world->globe.m_hexw, 1e-4f);
  EXPECT_GT(Dot(intro.m_matrix.GetTranslation() - p1, p1), 0.0f);
  EXPECT_NEAR(intro.m_speed, 0.3f * world->globe.m_hexw, 1e-6f);
  ASSERT_TRUE(IntroCameraAim(&intro, *world));
  const Vec3 tile1 = world->globe.m_trfs[actors.m_loca[1]].GetTranslation();
  EXPECT_NEAR((intro.m_matrix.GetTranslation() - Normalize(tile1) * 1.3f).Length(), 0.0f, 1e-5f);
  // Without a player's character the camera stays where it is.
  for (int n = 0; n < actors.m_cnt; ++n) actors.m_stat[n] &= ~static_cast<uint64_t>(ST_CHOSEN);
  const Matrix44 before = intro.m_matrix;
  IntroCameraStep(&intro, 0.1f, *world);
  EXPECT_EQ(intro.m_matrix.GetTranslation(), before.GetTranslation());
  EXPECT_FALSE(IntroCameraAim(&intro, *world));
  delete world;
}

TEST(Camera, PickStateForgetsAnOldWorld) {
  Wld* big = MakeSmallWorld(2);
  ASSERT_NE(big, nullptr);
  PickState pick;
  PickStateFollowWorld(&pick, big);
  pick.m_infoTile = big->globe.m_sz - 1;
  pick.m_hoverTile = big->globe.m_sz - 2;
  pick.m_clickActor = big->actors.m_cnt - 1;
  EXPECT_FALSE(PickStateFollowWorld(&pick, big));  // same world: kept
  EXPECT_EQ(pick.m_infoTile, big->globe.m_sz - 1);
  const int bigTiles = big->globe.m_sz;
  delete big;
  Wld* small = MakeSmallWorld(1);
  ASSERT_NE(small, nullptr);
  ASSERT_LT(small->globe.m_sz, bigTiles);
  EXPECT_TRUE(PickStateFollowWorld(&pick, small));
  EXPECT_EQ(pick.m_infoTile, -1);
  EXPECT_EQ(pick.m_hoverTile, -1);
  EXPECT_EQ(pick.m_clickActor, -1);
  // No world at all: nothing can be indexed.
  pick.m_infoTile = 3;
  EXPECT_TRUE(PickStateFollowWorld(&pick, nullptr));
  EXPECT_EQ(pick.m_infoTile, -1);
  delete small;
}

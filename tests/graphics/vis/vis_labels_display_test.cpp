// World labels in a window: "STORE\nFULL" drawn over a full store (and not through the planet), the tile number
// only with the "Tile info" switch, and the tutor's box in its inset, found by reading pixels back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "graphics/gl_fixture.h"
#include "graphics/vis/vis.h"
#include "graphics/vis/vis_labels.h"
#include "graphics/vis_world_fixture.h"
#include "test_support.h"

namespace {

class VisLabelsDisplay : public VisSceneTest<1> {
 protected:
  void SetUp() override {
    VisSceneTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_NE(vis->m_programs[PROG_TEXT], 0u);
    for (int b = 0; b < world->buildings.m_cnt && store < 0; ++b)
      if (world->buildings.InUse(b) && (world->globe.Attribs(world->buildings.m_loca[b]) & AT_STORAGE)) store = b;
    ASSERT_GE(store, 0) << "a new world has its depot";
  }
  void TearDown() override {
    if (world && store >= 0) world->globe.AttribsClear(world->buildings.m_loca[store], AT_FILLEDSTORAGE);
    if (vis) vis->m_overlay.GetOptions().m_debugFlags = 0;
    GlFixture::TearDown();
  }

  void LookAt(int tile, float zoom) {
    CameraLookFrom(&vis->m_camera, world->globe.m_trfs[tile].GetTranslation());
    vis->m_camera.m_zoom = vis->m_camera.m_zoomTarget = zoom;
    vis->m_camera.m_tilt = 0.0f;
    PlanetCameraStep(&vis->m_camera, 0, 1.0f / 240.0f, 1.0f);
    vis->m_camFrom = vis->m_camTo = c_camPlanet;
    vis->m_camBlend = 1.0f;
  }
  void Project(const Vec3& p, int* x, int* y) const {
    const Vec3 ndc = vis->m_viewProjection.TransformPoint(p);
    *x = static_cast<int>((ndc.x + 1.0f) * 0.5f * width);
    *y = static_cast<int>((ndc.y + 1.0f) * 0.5f * height);  // from the bottom, as read back
  }
  // Pixels within the square around (x, y) (y from the bottom) that pass the test.
  template <typename F>
  int Count(const std::vector<uint8_t>& px, int x, int y, int radius, F test) const {
    int n = 0;
    for (int j = y - radius; j <= y + radius; ++j)
      for (int i = x - radius; i <= x + radius; ++i)
        if (i >= 0 && j >= 0 && i < width && j < height) n += test(&px[(static_cast<size_t>(j) * width + i) * 4]);
    return n;
  }
  static bool Yellow(const uint8_t* p) { return p[0] > 170 && p[1] > 170 && p[2] < 90; }
  static bool Black(const uint8_t* p) { return p[0] < 30 && p[1] < 30 && p[2] < 30; }

  int store = -1;
};

}  // namespace

TEST_F(VisLabelsDisplay, AFullStoreSaysSoOverItsRoofButNotThroughThePlanet) {
  Globe& g = world->globe;
  const int tile = world->buildings.m_loca[store];
  LookAt(tile, 0.6f);
  const std::vector<uint8_t> before = Draw();
  g.AttribsSet(tile, AT_FILLEDSTORAGE);
  const std::vector<uint8_t> full = Draw();
  const Matrix44& t = world->buildings.m_trfs[store];
  int x = 0, y = 0;
  Project(t.GetTranslation() + t.GetZAxis() * (0.3f * g.m_hexw), &x, &y);
  const int radius = width / 8;
  EXPECT_GT(Count(full, x, y, radius, Yellow), Count(before, x, y, radius, Yellow) + 30)
      << "no STORE FULL over the " << world->buildings.m_name[store].c_str() << " at " << x << "," << y;

  // From the other side of the planet the label must not shine through it.
  CameraLookFrom(&vis->m_camera, t.GetTranslation() * -1.0f);
  PlanetCameraStep(&vis->m_camera, 0, 1.0f / 240.0f, 1.0f);
  const std::vector<uint8_t> farFull = Draw();
  g.AttribsClear(tile, AT_FILLEDSTORAGE);
  const std::vector<uint8_t> farPlain = Draw();
  EXPECT_TRUE(farFull == farPlain) << "the label shows through the planet";
}

TEST_F(VisLabelsDisplay, TileNumberOnlyWithTheTileInfoSwitch) {
  const Globe& g = world->globe;
  // A water tile: nothing stands on it to hide the number.
  int tile = -1;
  for (int t = 12; t < g.m_sz && tile < 0; ++t)
    if (g.m_nodes[t].type == TP_WATR) tile = t;
  ASSERT_GE(tile, 0);
  LookAt(tile, 0.5f);
  vis->m_pick.m_hoverTile = tile;
  vis->m_overlay.GetOptions().m_debugFlags = 0;
  const std::vector<uint8_t> off = Draw();
  vis->m_overlay.GetOptions().m_debugFlags = DF_TILE_INFO;
  const std::vector<uint8_t> on = Draw();
  int x = 0, y = 0;
  Project(g.m_trfs[tile].GetTranslation(), &x, &y);
  const int radius = width / 8;
  EXPECT_EQ(Count(off, x, y, radius, Black), 0);
  EXPECT_GT(Count(on, x, y, radius, Black), 20) << "no tile number at " << x << "," << y;
  vis->m_pick.m_hoverTile = -1;
  EXPECT_TRUE(Draw() == off) << "no tile under the pointer, no number";
}

TEST_F(VisLabelsDisplay, TutorBoxInTheInset) {
  Tutor& tutor = world->tutor;
  const int saved = tutor.m_stage;
  tutor.m_stage = 0;
  VisClearFrame(vis);
  VisDrawTutorInset(vis, *world);
  int w = 0, h = 0;
  const std::vector<uint8_t> px = ReadBack(&w, &h);
  tutor.m_stage = saved;
  // The inset's bottom strip, a little inside its left edge: the dark box and orange text.
  const int iw = width / 6, ih = iw * 8 / 10;
  int orange = 0;
  for (int j = height - ih; j < height - ih + ih * 30 / 100; ++j)
    for (int i = width - iw; i < width; ++i) {
      const uint8_t* p = &px[(static_cast<size_t>(j) * width + i) * 4];
      orange += p[0] > 60 && p[0] > p[1] + 15 && p[1] > p[2] + 10;
    }
  EXPECT_GT(orange, 10) << "no tutor text in the inset";
}

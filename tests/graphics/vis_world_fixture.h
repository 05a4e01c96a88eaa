// A small generated world for the drawing tests: the 272-tile planet with its trees, rocks, characters and buildings.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "gl_fixture.h"
#include "graphics/gl/graphics.h"
#include "graphics/vis/vis.h"
#include "system/window.h"
#include "world/planet/terraform.h"
#include "world/planet/worldgen.h"
#include "world/planet_fixture.h"

// Makes the "miniscule" planet and populates it as a new game does; null on failure.
inline Wld* MakeSmallWorld(int size = 1) {
  UseTestFolders();
  CustomParamsReset();
  WorldRngReset();
  customParamValues[0] = size;
  Wld* world = TerraformNewWorld("Drawing test");
  if (!world) return nullptr;
  if (world->Generate(customParamValues[4]) != WG_OK) {
    delete world;
    return nullptr;
  }
  return world;
}

// A Vis with the small world's planet loaded, made once per test program and suite tag (loading every
// model takes a moment) and freed at exit. The world is null when it could not be made or loaded.
struct VisScene {
  Vis* vis = nullptr;
  Wld* world = nullptr;
};

template <int Tag>
VisScene& SharedVisScene() {
  static VisScene scene;
  if (!scene.vis) {
    scene.world = MakeSmallWorld(1);
    scene.vis = new Vis;
    if (scene.world && LoadPlanetModel(scene.vis, "custom.geo", scene.world) < 0) {
      delete scene.world;
      scene.world = nullptr;
    }
    atexit([] {
      delete scene.vis;
      delete scene.world;
    });
  }
  return scene;
}

// A suite that ran before in the same program may have closed the shared window: the Vis needs a live one.
inline bool TestWindowKeptOpen() {
  return WindowExists() ||
         (VideoInit(0, 0, 3, 3, "Quillomar tests") && WindowCreate(320, 240, false) && GraphicsInit());
}

// A window test over the shared scene of the tag: the window kept open, the scene's Vis and world at
// hand, and the Vis told the drawable's size.
template <int Tag>
class VisSceneTest : public GlFixture {
 protected:
  void SetUp() override {
    GlFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(TestWindowKeptOpen());
    VisScene& scene = SharedVisScene<Tag>();
    ASSERT_NE(scene.world, nullptr);
    vis = scene.vis;
    world = scene.world;
    DrawableSize(&width, &height);
    vis->m_windowWidth = width;
    vis->m_windowHeight = height;
  }

  // Clears and draws the world pass; the pixels as the back buffer holds them.
  std::vector<uint8_t> Draw() {
    VisClearFrame(vis);
    VisDraw3D(vis, *world);
    int w = 0, h = 0;
    return ReadBack(&w, &h);
  }

  Vis* vis = nullptr;
  Wld* world = nullptr;
  int width = 0, height = 0;
};

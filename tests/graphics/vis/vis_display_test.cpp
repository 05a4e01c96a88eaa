// The visualisation in a window: pixel probes of the clear colour, the planet's colours and outlines, a tree, a
// building and a character's glow, and picking a known tile and character by pointer position.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "captured_log.h"
#include "graphics/gl_fixture.h"
#include "graphics/models/load_report.h"
#include "graphics/vis/vis.h"
#include "graphics/vis/vis_input.h"
#include "graphics/vis/vis_sound.h"
#include "graphics/vis_world_fixture.h"
#include "system/audio.h"
#include "test_support.h"
#include "world/actors/actors_move.h"

namespace {

class VisDisplay : public VisSceneTest<0> {
 protected:
  // The planet camera over a tile, from the height and at the tilt given.
  void LookAt(int tile, float zoom, float tilt) {
    CameraLookFrom(&vis->m_camera, world->globe.m_trfs[tile].GetTranslation());
    vis->m_camera.m_zoom = vis->m_camera.m_zoomTarget = zoom;
    vis->m_camera.m_tilt = tilt;
    PlanetCameraStep(&vis->m_camera, 0, 1.0f / 240.0f, 1.0f);
    vis->m_camFrom = vis->m_camTo = c_camPlanet;
    vis->m_camBlend = 1.0f;
    vis->m_lightDir = vis->m_camera.m_orientation.GetZAxis();
  }

  // Window position (from the top) of a world point.
  void Project(const Vec3& p, int* x, int* y) const {
    const Vec3 ndc = vis->m_viewProjection.TransformPoint(p);
    *x = static_cast<int>((ndc.x + 1.0f) * 0.5f * width);
    *y = static_cast<int>(height - 1 - (ndc.y + 1.0f) * 0.5f * height);
  }

  const uint8_t* Pixel(const std::vector<uint8_t>& pixels, int x, int y) const {
    return &pixels[(static_cast<size_t>(height - 1 - y) * width + x) * 4];
  }

  // Pixels that differ by more than a little within a square around (x, y).
  int Differing(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int x, int y, int radius) const {
    int n = 0;
    for (int j = y - radius; j <= y + radius; ++j)
      for (int i = x - radius; i <= x + radius; ++i) {
        if (i < 0 || j < 0 || i >= width || j >= height) continue;
        const uint8_t *p = Pixel(a, i, j), *q = Pixel(b, i, j);
        n += abs(p[0] - q[0]) + abs(p[1] - q[1]) + abs(p[2] - q[2]) > 24;
      }
    return n;
  }

  // A land tile with nothing on it: no trees, rocks, items, buildings or characters.
  int OpenLandTile() const {
    const Globe& g = world->globe;
    for (int t = 0; t < g.m_sz; ++t) {
      if (g.m_nodes[t].type != TP_LAND || world->trees.CountAt(t) || world->rocks.IsBlocked(t, -1)) continue;
      if (world->buildings.Find(t, nullptr) >= 0 || world->minerals.HasDeposit(t, 0)) continue;
      bool busy = false;
      for (int i = 0; i < world->items.m_cnt; ++i)
        busy = busy || (world->items.InUse(i) && world->items.m_loca[i] == t);
      for (int n = 0; n < world->actors.m_cnt; ++n) busy = busy || world->actors.m_loca[n] == t;
      if (!busy) return t;
    }
    return -1;
  }
};

}  // namespace

TEST_F(VisDisplay, ClearColourPlanetColoursAndOutlines) {
  ASSERT_GE(vis->m_planetModel, 0);
  for (int p = 0; p < VISNUMPROGRAMS; ++p) EXPECT_NE(vis->m_programs[p], 0u) << "program " << p;
  const int tile = OpenLandTile();
  ASSERT_GE(tile, 0);
  LookAt(tile, 1.6f, 0.0f);
  const std::vector<uint8_t> pixels = Draw();
  // The corner is sky: the night blue (through the sRGB encoding when that is on).
  const uint8_t* sky = Pixel(pixels, 1, 1);
  const bool srgb = vis->m_srgb != 0;
  // With sRGB on, the clear values are chosen so that the encoding gives the same blue back.
  const int expect[3] = {13, 13, 31};
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(sky[c], expect[c], 3) << "channel " << c;
  // Ticking the option's box changes nothing until the next start: the sky stays as it is.
  Options& options = vis->m_overlay.GetOptions();
  const uint8_t ticked = options.m_srgb;
  options.m_srgb = !ticked;
  VisClearFrame(vis);
  int rw = 0, rh = 0;
  const std::vector<uint8_t> again = ReadBack(&rw, &rh);
  options.m_srgb = ticked;
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(Pixel(again, 1, 1)[c], expect[c], 3) << "channel " << c << " after the box";

  // The open tile's centre shows its colour from the planet model, fully lit from the camera.
  int x = 0, y = 0;
  Project(world->globe.m_nodes[tile].centre, &x, &y);
  ASSERT_GT(x, 0);
  ASSERT_LT(x, width);
  const ModelEntry* planet = vis->m_modelDB.Entry(vis->m_planetModel);
  ASSERT_NE(planet, nullptr);
  const int k = std::min(tile, 12) * 9 + std::max(tile - 12, 0) * 12;
  const GeoVertex& v = planet->m_mesh.GeoVertices()[k];
  const uint8_t* land = Pixel(pixels, x, y);
  // The model's bytes are linear when sRGB is on; the frame buffer encodes them back.
  FixedString dummy;
  for (int c = 0; c < 3; ++c) {
    const float linear = v.rgba[c] / 255.0f;
    const float shown =
        srgb ? (linear <= 0.0031308f ? linear * 12.92f : 1.055f * powf(linear, 1.0f / 2.4f) - 0.055f) : linear;
    EXPECT_NEAR(land[c], shown * 255.0f, 24.0f) << "channel " << c;
  }
  EXPECT_GT(land[1], land[2]);  // land is green rather than blue

  // The outlines alone: a clear frame with only the planet's lines drawn has line pixels.
  VisClearFrame(vis);
  ProgramUse(vis->m_programs[PROG_STATIC_LINES]);
  glEnable(GL_DEPTH_TEST);
  PlanetDraw(vis, *world, VisDrawMode::Lines);
  int w = 0, h = 0;
  const std::vector<uint8_t> lines = ReadBack(&w, &h);
  int lit = 0;
  for (size_t i = 0; i < lines.size(); i += 4) lit += abs(lines[i] - sky[0]) + abs(lines[i + 2] - sky[2]) > 12;
  EXPECT_GT(lit, width);               // a good many outline pixels
  EXPECT_LT(lit, width * height / 3);  // but only outlines, not filled tiles
}

TEST_F(VisDisplay, TreeBuildingAndGlowShowWhereTheyStand) {
  Globe& g = world->globe;
  // A tile with a pine.
  int treeTile = -1;
  for (int t = 0; t < g.m_sz && treeTile < 0; ++t)
    if (world->trees.m_density[TK_PINE][t] > 0) treeTile = t;
  ASSERT_GE(treeTile, 0);
  LookAt(treeTile, 0.5f, 0.0f);
  const std::vector<uint8_t> with = Draw();
  std::vector<int32_t> saved(world->trees.m_density[TK_PINE], world->trees.m_density[TK_PINE] + world->trees.m_sz);
  const int savedCount = world->trees.m_count[TK_PINE];
  memset(world->trees.m_density[TK_PINE], 0, sizeof(int32_t) * world->trees.m_sz);
  world->trees.m_count[TK_PINE] = 0;
  const std::vector<uint8_t> without = Draw();
  memcpy(world->trees.m_density[TK_PINE], saved.data(), sizeof(int32_t) * saved.size());
  world->trees.m_count[TK_PINE] = savedCount;
  int x = 0, y = 0;
  Project(g.m_nodes[treeTile].centre, &x, &y);
  EXPECT_GT(Differing(with, without, x, y, 20), 40) << "no tree drawn on tile " << treeTile;

  // A building.
  ASSERT_GT(world->buildings.m_cnt, 0);
  const int b = 0;
  const int buildingTile = world->buildings.m_loca[b];
  LookAt(buildingTile, 0.5f, 0.0f);
  const std::vector<uint8_t> built = Draw();
  const FixedString name = world->buildings.m_name[b];
  world->buildings.m_name[b].Clear();
  const std::vector<uint8_t> bare = Draw();
  world->buildings.m_name[b] = name;
  Project(g.m_nodes[buildingTile].centre, &x, &y);
  EXPECT_GT(Differing(built, bare, x, y, 20), 40) << "no " << name.c_str() << " drawn";
  // A building buffer that cannot be mapped is reported with the count, and the frame goes on
  // without those buildings.
  {
    const int model = BuildingModelForName(name.c_str());
    ASSERT_GE(model, 0);
    const int slot = vis->m_buildingModels[model];
    auto* const mapRange = glCalls.MapBufferRange;
    glCalls.MapBufferRange = [](GLenum, GLintptr, GLsizeiptr, GLbitfield) -> void* { return nullptr; };
    ExpectAsserts expect;
    CapturedLog log;
    Draw();
    glCalls.MapBufferRange = mapRange;
    int expected = 0;
    vis->m_instances.Sorted().BuildingRun(model, &expected);
    EXPECT_GT(expected, 0);
    EXPECT_TRUE(expect.Saw("trfs"));
    for (const std::string& seen : expect.Seen()) EXPECT_EQ(seen, "trfs");  // only the buildings assert
    FixedString line;
    line.Format("Failed to VBufferMap for %d buildings.", expected);
    EXPECT_GE(log.Find(line.c_str()), 0) << line.c_str();
    EXPECT_EQ(vis->m_instanceCounts[slot], 0);
  }

  // The glow around a landed character, standing on an open tile.
  const int tile = OpenLandTile();
  ASSERT_GE(tile, 0);
  const int p = world->actors.FindPlayer();
  ASSERT_GE(p, 0);
  Actors& actors = world->actors;
  const Matrix44 savedTrf = actors.m_trfs[p];
  const uint64_t savedStat = actors.m_stat[p];
  actors.m_trfs[p] = g.m_trfs[tile];
  actors.m_animSeq[p] = ANIM_IDLE;
  actors.m_animTime[p] = 0.0f;
  actors.m_stat[p] &= ~static_cast<uint64_t>(ST_LANDED);
  LookAt(tile, 0.4f, 0.6f);
  const std::vector<uint8_t> plain = Draw();
  actors.m_stat[p] |= ST_LANDED;
  const std::vector<uint8_t> glowing = Draw();
  Project(g.m_nodes[tile].centre, &x, &y);
  EXPECT_GT(Differing(plain, glowing, x, y, 60), 20) << "no glow around the landed character";
  // The glow pass leaves depth writes on and blending and the stencil test off.
  GLboolean depthWrites = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
  EXPECT_EQ(depthWrites, GL_TRUE);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST));
  actors.m_trfs[p] = savedTrf;
  actors.m_stat[p] = savedStat;
}

TEST_F(VisDisplay, PickingAKnownTileAndCharacter) {
  Globe& g = world->globe;
  const int tile = OpenLandTile();
  ASSERT_GE(tile, 0);
  LookAt(tile, 0.6f, 0.0f);
  VisDraw3D(vis, *world);  // the view of this frame
  int x = 0, y = 0;
  Project(g.m_nodes[tile].centre, &x, &y);
  vis->m_pointerX = static_cast<float>(x);
  vis->m_pointerY = static_cast<float>(y);
  VisClearFrame(vis);
  VisDraw3D(vis, *world);  // reads the depth under the pointer at its end
  EXPECT_LT(vis->m_pickDepth, 1.0f);
  VisPick(vis, world, static_cast<float>(x), static_cast<float>(y), 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(vis->m_pick.m_hoverTile, tile);
  EXPECT_EQ(vis->m_pick.m_hoverActor, -1);
  EXPECT_NE(vis->m_camera.m_grab, Vec3{});  // over the planet: a grab vector

  // Over empty space: nothing, and no grab vector.
  vis->m_pointerX = vis->m_pointerY = 1.0f;
  LookAt(tile, 1.9f, 0.0f);
  VisClearFrame(vis);
  VisDraw3D(vis, *world);
  EXPECT_EQ(vis->m_pickDepth, 1.0f);
  VisPick(vis, world, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(vis->m_pick.m_hoverTile, -1);
  EXPECT_EQ(vis->m_camera.m_grab, Vec3{});

  // A character standing on the tile, seen from the side: the pointer on its legs picks it.
  Actors& actors = world->actors;
  const int c = actors.m_cnt - 1;
  const Matrix44 savedTrf = actors.m_trfs[c];
  actors.m_trfs[c] = g.m_trfs[tile];
  // A camera two tile widths to the side and a little above, looking at the character's knees.
  const Vec3 up = Normalize(g.m_nodes[tile].centre);
  const Vec3 side = Normalize(Cross(up, Vec3{0.3f, 0.9f, 0.1f}));
  const Vec3 knees = g.m_nodes[tile].centre + up * (0.15f * g.m_hexw);
  const Vec3 eye = knees + side * (2.0f * g.m_hexw) + up * (0.5f * g.m_hexw);
  vis->m_camera.m_matrix = Matrix44::AlignZY(up, Normalize(eye - knees));
  vis->m_camera.m_matrix.SetTranslation(eye);
  VisDraw3D(vis, *world);
  Project(knees, &x, &y);
  vis->m_pointerX = static_cast<float>(x);
  vis->m_pointerY = static_cast<float>(y);
  VisClearFrame(vis);
  VisDraw3D(vis, *world);
  VisPick(vis, world, static_cast<float>(x), static_cast<float>(y), 0.0f, 0.0f, 0.0f);
  const Vec3 hitPoint = PickUnproject(vis->m_viewProjection, x, y, vis->m_pickDepth, width, height);
  EXPECT_LT((hitPoint - g.m_nodes[tile].centre).Length(), 0.5f * g.m_hexw);
  EXPECT_EQ(vis->m_pick.m_hoverActor, c);
  EXPECT_EQ(vis->m_pick.m_hoverTile, tile);
  actors.m_trfs[c] = savedTrf;
}

// A pointer that jumps and clicks within one frame (a tap on a touch screen) picks the tile under
// it, not the tile under the depth read where the pointer stood a frame before.
TEST_F(VisDisplay, APointerThatJumpedPicksTheTileUnderItNow) {
  Globe& g = world->globe;
  const int tile = OpenLandTile();
  ASSERT_GE(tile, 0);
  // Close and tilted (the corner shows other ground), and far out (the corner shows the sky).
  for (float zoom : {0.6f, 1.9f}) {
    const float tilt = zoom < 1.0f ? 0.8f : 0.0f;
    LookAt(tile, zoom, tilt);
    VisDraw3D(vis, *world);
    int x = 0, y = 0;
    Project(g.m_nodes[tile].centre, &x, &y);
    // Last frame the pointer was in a corner, over other ground; now it is over the tile.
    vis->m_pointerX = vis->m_pointerY = 1.0f;
    VisClearFrame(vis);
    VisDraw3D(vis, *world);
    VisPick(vis, world, static_cast<float>(x), static_cast<float>(y), 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(vis->m_pick.m_hoverTile, tile) << "zoom " << zoom;
    EXPECT_NE(vis->m_camera.m_grab, Vec3{});
    // The same pointer a frame later uses the depth read there and agrees.
    VisClearFrame(vis);
    VisDraw3D(vis, *world);
    EXPECT_LT(vis->m_pickDepth, 1.0f);
    VisPick(vis, world, static_cast<float>(x), static_cast<float>(y), 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(vis->m_pick.m_hoverTile, tile) << "zoom " << zoom;
  }
  // Jumping into empty space picks nothing.
  LookAt(tile, 1.9f, 0.0f);
  VisClearFrame(vis);
  VisDraw3D(vis, *world);
  VisPick(vis, world, 2.0f, 2.0f, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(vis->m_pick.m_hoverTile, -1);
  EXPECT_EQ(vis->m_camera.m_grab, Vec3{});
}

TEST_F(VisDisplay, ModelsThatDidNotLoadAreSkipped) {
  // Slot 0 is a real model; -1 is "not loaded" and anything else out of the table is skipped too.
  EXPECT_EQ(vis->m_characterModels[0], 0);
  const int savedTree = vis->m_treeModels[1], savedItem = vis->m_itemModels[0], savedOrk = vis->m_characterModels[0];
  const int savedBuilding = vis->m_buildingModels[0], savedArrow = vis->m_annotationModels[ANNOT_ARROW];
  vis->m_treeModels[1] = -1;
  vis->m_itemModels[0] = -1;
  vis->m_characterModels[0] = -1;
  vis->m_buildingModels[0] = 100;
  vis->m_annotationModels[ANNOT_ARROW] = -7;
  LookAt(OpenLandTile(), 1.0f, 0.0f);
  Draw();  // no assertion, no GL error
  vis->m_treeModels[1] = savedTree;
  vis->m_itemModels[0] = savedItem;
  vis->m_characterModels[0] = savedOrk;
  vis->m_buildingModels[0] = savedBuilding;
  vis->m_annotationModels[ANNOT_ARROW] = savedArrow;
}

TEST_F(VisDisplay, GameFrameTimeLightPacketAndQuit) {
  MailboxReset();
  const float gameTime = vis->m_gameTime, hour = vis->m_timeOfDay;
  // Under half a millisecond of game time: nothing happens at all.
  EXPECT_TRUE(VisFrame(vis, 0.016f, 0, 1.0f / 240.0f, world));
  EXPECT_TRUE(VisFrame(vis, 0.016f, 1, 0.0004f, world));
  EXPECT_EQ(vis->m_gameTime, gameTime);
  // Four steps of 1/240 s: 17 whole milliseconds of game time, and the hours move on.
  SendToSim(vis, "simspeed accelerated=0 musicff=1");
  EXPECT_TRUE(VisFrame(vis, 0.016f, 4, 1.0f / 240.0f, world));
  EXPECT_NEAR(vis->m_gameTime - gameTime, 0.017f, 1e-5f);
  EXPECT_NEAR(vis->m_timeOfDay - hour, 0.017f * 0.2777778f, 1e-5f);
  // The frame's packet went to the simulation, and the Vis's own is empty again.
  Packet in;
  ASSERT_TRUE(MailboxReceive(c_mailboxSim, &in));
  char text[256];
  in.Read(text, sizeof(text), 0);
  EXPECT_STREQ(text, "simspeed accelerated=0 musicff=1");
  EXPECT_EQ(vis->m_sendPacket.m_size, 0);
  // More than a packet's worth in one frame: the full packet leaves early, with a warning.
  {
    CapturedLog log;
    const std::string longText = "cheatkey name=" + std::string(180, 'x');
    for (int i = 0; i < 12; ++i) SendToSim(vis, longText.c_str());
    EXPECT_TRUE(log.Has("Vis send packet overflowed."));
  }
  EXPECT_TRUE(VisFrame(vis, 0.016f, 4, 1.0f / 240.0f, world));
  int packets = 0, messages = 0;
  while (MailboxReceive(c_mailboxSim, &in)) {
    ++packets;
    while (in.m_readPos < in.m_size) in.Read(text, sizeof(text), 0), ++messages;
  }
  EXPECT_EQ(packets, 2);
  EXPECT_EQ(messages, 12);
  // The hour wraps past midnight.
  vis->m_timeOfDay = 23.9999f;
  EXPECT_TRUE(VisFrame(vis, 0.016f, 4, 1.0f / 240.0f, world));
  EXPECT_LT(vis->m_timeOfDay, 1.0f);
  vis->m_quitRequested = 1;
  EXPECT_FALSE(VisFrame(vis, 0.016f, 4, 1.0f / 240.0f, world));
  vis->m_quitRequested = 0;
  MailboxReset();
}

TEST_F(VisDisplay, DataFilesThatFailToLoadAreReportedOnceAndLeftOut) {
  // A data folder like the build's, less one file or with one file damaged: the Vis is made
  // without an assertion, leaves that one thing out and names the file for the start-up dialog.
  struct Case {
    const char* folder;
    const char* file;
    bool damaged;  // false: the file is missing
    const char* reported;
  };
  const Case cases[] = {
      {"props", "pine.geo", false, "data/props/pine.geo (missing)"},
      {"props", "rock3.geo", true, "data/props/rock3.geo (damaged)"},
      {"sounds", "cuttree.wav", true, "data/sounds/cuttree.wav (damaged)"},
      {"shaders", "sparkle_ps.glsl", false, "data/shaders/sparkle_ps.glsl (missing)"},
  };
  FixedString data, user;
  ASSERT_TRUE(DataFolderResolve(&data));
  ASSERT_TRUE(UserFolderResolve(&user));
  const std::filesystem::path from = std::filesystem::path(data.c_str()) / "data";
  // Sounds load only with audio open; the null device serves.
  setenv("ALSOFT_DRIVERS", "null", 0);
  const bool audioHere = AudioIsOpen();
  if (!audioHere) ASSERT_EQ(AudioInit(nullptr, 0.16f), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::filesystem::path to = std::filesystem::path(TestTempFolder("lessdata")) / "data";
    std::filesystem::create_directories(to / c.folder);
    for (const auto& entry : std::filesystem::directory_iterator(from)) {
      if (entry.path().filename() == c.folder) continue;
      std::filesystem::create_directory_symlink(entry.path(), to / entry.path().filename());
    }
    for (const auto& entry : std::filesystem::directory_iterator(from / c.folder))
      if (entry.path().filename() != c.file)
        std::filesystem::create_symlink(entry.path(), to / c.folder / entry.path().filename());
    if (c.damaged) std::ofstream(to / c.folder / c.file, std::ios::binary).write("RIFF\x10\0\0\0geo junk", 16);
    ASSERT_TRUE(FoldersSet(user.c_str(), to.parent_path().c_str()));
    LoadReportClear();
    {
      ExpectAsserts expect;
      Vis other;
      EXPECT_EQ(expect.Count(), 0);
      EXPECT_EQ(LoadReportCount(), 1);
      EXPECT_NE(std::string(LoadReportText()).find(c.reported), std::string::npos) << LoadReportText();
      EXPECT_EQ(other.m_characterModels[0], 0);  // slot 0 (the first figure) is a good slot
      EXPECT_GE(other.m_treeModels[TK_MAPL], 0);
      if (!strcmp(c.file, "pine.geo")) EXPECT_EQ(other.m_treeModels[TK_PINE], -1);
      if (!strcmp(c.file, "rock3.geo")) EXPECT_EQ(other.m_rockModels[3], -1);
      if (!strcmp(c.file, "cuttree.wav")) EXPECT_EQ(other.m_soundFXArray[SoundIndex("cuttree")], 0u);
      if (!strcmp(c.file, "sparkle_ps.glsl")) EXPECT_EQ(other.m_programs[PROG_SPARKLE_MODEL], 0u);
      EXPECT_NE(other.m_programs[PROG_TEXT], 0u);
    }
    LoadReportClear();
  }
  if (!audioHere) AudioExit();
  ASSERT_TRUE(FoldersSet(user.c_str(), data.c_str()));
  Draw();  // the scene's own Vis draws on
}

TEST_F(VisDisplay, SimulationMessagesMoveTheCameras) {
  vis->m_camFrom = vis->m_camTo = c_camIntro;
  vis->m_camBlend = 1.0f;
  // Ended and started together: to the planet camera and straight back to the intro camera.
  EXPECT_TRUE(HandleSimEvent(vis, "intro ended=1 started=1", world));
  EXPECT_EQ(vis->m_camFrom, c_camIntro);
  EXPECT_EQ(vis->m_camTo, c_camIntro);
  EXPECT_TRUE(HandleSimEvent(vis, "intro ended=1", world));
  EXPECT_EQ(vis->m_camTo, c_camPlanet);
  EXPECT_EQ(vis->m_camBlend, 0.0f);
  EXPECT_TRUE(HandleSimEvent(vis, "playerascend", world));
  EXPECT_EQ(vis->m_camFrom, c_camPlanet);
  EXPECT_EQ(vis->m_camTo, c_camIntro);
  // A keyword that merely begins with gameend counts; "intro" without its blank does not.
  vis->m_gameInProgress = 1;
  vis->m_screenMode = ScreenMode::Game;
  EXPECT_TRUE(HandleSimEvent(vis, "gameendXYZ", world));
  EXPECT_EQ(vis->m_screenMode, ScreenMode::Title);
  EXPECT_EQ(vis->m_gameInProgress, 0);
  EXPECT_FALSE(HandleSimEvent(vis, "intro", world));
  EXPECT_FALSE(HandleSimEvent(vis, "", world));
  EXPECT_FALSE(HandleSimEvent(vis, nullptr, world));
  vis->m_screenMode = ScreenMode::Game;
}

// Last of the suite: it replaces the planet model and puts the good one back.
TEST_F(VisDisplay, APlanetModelThatDoesNotFitIsRefusedWhole) {
  FileHandle f = FileOpenRead("custom.geo", true);
  ASSERT_NE(f, 0u);
  std::string good(FileSize(f), '\0');
  ASSERT_EQ(FileRead(f, good.data(), good.size()), good.size());
  FileClose(f);
  Globe& g = world->globe;
  const Matrix44 before = g.m_trfs[g.m_sz - 1];
  const Matrix44* visBefore = vis->m_tileTransforms;
  vis->m_pick.m_infoTile = g.m_sz - 1;
  // One triangle: far too few vertices for the globe's tiles.
  std::string tiny = "geo ";
  const uint32_t counts[2] = {1, 0};
  tiny.append(reinterpret_cast<const char*>(counts), sizeof(counts));
  const GeoVertex verts[3] = {{0, 0, 1, {9, 9, 9, 255}}, {1, 0, 0, {9, 9, 9, 255}}, {0, 1, 0, {9, 9, 9, 255}}};
  tiny.append(reinterpret_cast<const char*>(verts), sizeof(verts));
  f = FileOpenWrite("custom.geo", true);
  FileWrite(f, tiny.data(), tiny.size());
  FileClose(f);
  EXPECT_EQ(LoadPlanetModel(vis, "custom.geo", world), -1);
  EXPECT_EQ(vis->m_tileTransforms, visBefore);  // the old transforms stay, nothing half made
  EXPECT_EQ(memcmp(&g.m_trfs[g.m_sz - 1], &before, sizeof(before)), 0);
  EXPECT_EQ(vis->m_pick.m_infoTile, -1);  // the world changed: no stale tile index
  // A missing file: refused as well, and nothing is drawn for the planet until one loads.
  FileRemove("custom.geo", true);
  EXPECT_EQ(LoadPlanetModel(vis, "custom.geo", world), -1);
  EXPECT_EQ(vis->m_planetModel, -1);
  VisClearFrame(vis);
  VisDraw3D(vis, *world);  // draws the rest without the planet
  f = FileOpenWrite("custom.geo", true);
  FileWrite(f, good.data(), good.size());
  FileClose(f);
  EXPECT_EQ(LoadPlanetModel(vis, "custom.geo", world), 1);
  EXPECT_GE(vis->m_planetModel, 0);
}

// Culling leaves out only what cannot be seen: the landing, mid and far views, each from several
// sides of the planet, come out the same pixel for pixel with culling on and off, while the
// culled frames upload fewer instances. The planet's walls and outlines, of which the culled
// frames draw only those that can colour a pixel, are seen from low over the ground too.
TEST_F(VisDisplay, CullingKeepsThePictureExactly) {
  struct View {
    float zoom, tilt;
  } views[] = {{c_zoomMin, 0.6f}, {0.6f, 0.2f}, {c_zoomMax, 0.0f}, {0.6f, 0.6f}};
  const int player = world->actors.PlayerLocation();
  const int tiles[] = {world->globe.IsValid(player) ? player : 0, world->globe.m_sz / 3, world->globe.m_sz - 1};
  int culledInstances = 0, allInstances = 0;
  for (const View& view : views) {
    for (const int tile : tiles) {
      LookAt(tile, view.zoom, view.tilt);
      vis->m_cullHidden = false;
      const std::vector<uint8_t> all = Draw();
      for (int s = 0; s < MAXMODELS; ++s) allInstances += std::max(0, vis->m_instanceCounts[s]);
      vis->m_cullHidden = true;
      const std::vector<uint8_t> culled = Draw();
      for (int s = 0; s < MAXMODELS; ++s) culledInstances += std::max(0, vis->m_instanceCounts[s]);
      size_t differing = 0;
      for (size_t i = 0; i < all.size(); ++i) differing += all[i] != culled[i];
      EXPECT_EQ(differing, 0u) << "zoom " << view.zoom << " over tile " << tile;
      if (differing) SaveShot("culling_differs");
    }
  }
  EXPECT_GT(allInstances, 0);
  EXPECT_LT(culledInstances, allInstances * 3 / 4);
}

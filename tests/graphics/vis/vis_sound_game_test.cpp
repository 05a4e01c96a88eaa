// The game's sounds in a window, through the Vis: loaded with it, the music started by the intro's
// end and following its option, effects placed at their tiles from the simulation's messages, Tab
// speeding everything up, and the music stopped when the Vis goes.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "captured_log.h"
#include "graphics/gl_fixture.h"
#include "graphics/vis/vis.h"
#include "graphics/vis/vis_input.h"
#include "graphics/vis/vis_sound.h"
#include "graphics/vis_world_fixture.h"
#include "system/audio.h"
#include "system/input.h"
#include "test_support.h"

namespace {

class VisSoundInGame : public GlFixture {
 protected:
  void SetUp() override {
    GlFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    setenv("ALSOFT_DRIVERS", "null", 0);
    ASSERT_EQ(AudioInit(nullptr, 0.16f), 1);
    ASSERT_TRUE(InputInit());
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
  void TearDown() override {
    InputExit();
    AudioExit();
    GlFixture::TearDown();
  }
  static AudioChannelState Query(int channel) {
    AudioChannelState s;
    EXPECT_TRUE(AudioChannelQuery(channel, &s));
    return s;
  }
  static void PushTab(bool down) {
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = SDL_SCANCODE_TAB;
    ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
  }
};

TEST_F(VisSoundInGame, MessagesOptionsAndTabReachTheChannels) {
  Wld* world = MakeSmallWorld(1);
  ASSERT_NE(world, nullptr);
  Vis* vis = new Vis;
  ASSERT_EQ(LoadPlanetModel(vis, "custom.geo", world), 1);
  for (int i = 0; i < VISNUMSOUNDS; ++i) EXPECT_NE(vis->m_soundFXArray[i], 0u) << c_soundNames[i];
  Options& options = vis->m_overlay.GetOptions();
  const float master = options.m_masterVolume;
  EXPECT_NEAR(AudioListenerGain(), master * master * master, 1e-6f);
  vis->m_screenMode = ScreenMode::Game;

  // The intro's end starts the town theme on the music channel.
  EXPECT_TRUE(HandleSimEvent(vis, "intro ended=1 started=0", world));
  AudioChannelState music = Query(c_audioMusicChannel);
  EXPECT_TRUE(music.m_playing && music.m_looping && music.m_relative);
  EXPECT_EQ(music.m_buffer, vis->m_soundFXArray[c_soundMusic]);
  EXPECT_STREQ(vis->m_musicName, "townthemeraw");

  // A changed music volume reaches the channel in the next game frame.
  options.m_musicVolume = 0.4f;
  EXPECT_TRUE(VisFrame(vis, 0.016f, 1, 0.016f, world));
  EXPECT_FLOAT_EQ(vis->m_musicVolume, 0.4f);
  EXPECT_NEAR(Query(c_audioMusicChannel).m_gain, 0.064f, 1e-6f);

  // Effects: at a tile's centre, without a place (tile -1 or none), and a tile off the planet.
  {
    CapturedLog log;
    EXPECT_TRUE(HandleSimEvent(vis, "soundeffect name=thud gain=2.0 tile=3", world));
    EXPECT_TRUE(HandleSimEvent(vis, "soundeffect name=scream gain=0.20 tile=-1", world));
    EXPECT_TRUE(HandleSimEvent(vis, "soundeffect name=drop", world));
    EXPECT_TRUE(HandleSimEvent(vis, "soundeffect name=drop tile=100000", world));
    EXPECT_TRUE(log.Has("Sound 'drop' at tile 100000, beyond the 272 tiles")) << log.Line(0);
  }
  AudioChannelState thud = Query(0);
  const Vec3 centre = vis->m_tileTransforms[3].GetTranslation();
  EXPECT_FALSE(thud.m_relative);
  EXPECT_EQ(thud.m_buffer, vis->m_soundFXArray[7]);
  EXPECT_FLOAT_EQ(thud.m_gain, 2.0f);
  EXPECT_FLOAT_EQ(thud.m_position[0], centre.x);
  EXPECT_FLOAT_EQ(thud.m_position[1], centre.y);
  EXPECT_FLOAT_EQ(thud.m_position[2], centre.z);
  EXPECT_TRUE(Query(1).m_relative);
  EXPECT_FLOAT_EQ(Query(1).m_gain, 0.2f);
  EXPECT_TRUE(Query(2).m_relative);
  EXPECT_FLOAT_EQ(Query(2).m_gain, 1.0f);
  EXPECT_TRUE(Query(3).m_relative);

  // Tab held: effects at twice the speed, the music (it follows the game by default) at its
  // fast pitch and quieter; released: all back.
  ASSERT_EQ(options.m_musicFF, 1);
  PushTab(true);
  VisHandleInput(vis, world);
  const float quiet = 0.4f * c_musicFastVolumeScale;
  EXPECT_FLOAT_EQ(Query(0).m_pitch, 2.0f);
  EXPECT_FLOAT_EQ(Query(c_audioMusicChannel).m_pitch, c_audioMusicFastPitch);
  EXPECT_NEAR(Query(c_audioMusicChannel).m_gain, quiet * quiet * quiet, 1e-6f);
  PushTab(false);
  VisHandleInput(vis, world);
  EXPECT_FLOAT_EQ(Query(0).m_pitch, 1.0f);
  EXPECT_FLOAT_EQ(Query(c_audioMusicChannel).m_pitch, 1.0f);
  EXPECT_NEAR(Query(c_audioMusicChannel).m_gain, 0.064f, 1e-6f);
  vis->m_sendPacket.Empty();

  delete vis;
  EXPECT_FALSE(AudioIsPlaying(c_audioMusicChannel));
  delete world;
}

}  // namespace

// The game's sounds on OpenAL's silent and wave-file outputs: loading the table, effect channels
// (the 32nd dropped, the music's channel kept), relative and placed effects, music speed and
// volume, audio closed, hostile sound files, and a recording of what an effect put out.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "captured_log.h"
#include "graphics/vis/vis_sound.h"
#include "system/audio.h"
#include "system/file.h"
#include "test_support.h"

namespace {

class VisSound : public testing::Test {
 protected:
  void SetUp() override {
    setenv("ALSOFT_DRIVERS", "null", 0);
    ASSERT_TRUE(FoldersSet(UserFolderGet(), DataDir().c_str()));
    ASSERT_TRUE(FileExists("data/sounds/townthemeraw.wav", false)) << "no sounds under " << DataDir();
    ASSERT_EQ(AudioInit(nullptr, 0.16f), 1);
  }
  void TearDown() override { AudioExit(); }
  static AudioChannelState Query(int channel) {
    AudioChannelState s;
    EXPECT_TRUE(AudioChannelQuery(channel, &s));
    return s;
  }
  uint32_t m_sounds[c_soundCount] = {};
};

TEST_F(VisSound, EffectChannelsMusicAndSpeed) {
  {
    CapturedLog log;
    ASSERT_EQ(SoundsLoad(m_sounds), c_soundCount);
    EXPECT_TRUE(log.HasPrefix("Loaded 1612800 bytes for data/sounds/townthemeraw.wav")) << log.Line(0);
    EXPECT_EQ(log.CountPrefix("Loaded "), c_soundCount);
  }
  for (int i = 0; i < c_soundCount; ++i) EXPECT_NE(m_sounds[i], 0u) << c_soundNames[i];

  // The music loops on channel 31, relative to the listener, at the music volume (cubed).
  ASSERT_TRUE(MusicStart(m_sounds, "townthemeraw", 0.5f));
  AudioChannelState music = Query(c_audioMusicChannel);
  EXPECT_EQ(music.m_buffer, m_sounds[c_soundMusic]);
  EXPECT_TRUE(music.m_looping && music.m_relative && music.m_playing);
  EXPECT_FLOAT_EQ(music.m_gain, 0.125f);

  // 31 overlapping effects take channels 0 to 30 in order; the 32nd is dropped and the music
  // keeps its channel.
  for (int i = 0; i < c_audioMusicChannel; ++i) ASSERT_EQ(SoundEffectStart(m_sounds, "drama", 1.0f, Vec3{}), i);
  EXPECT_EQ(SoundEffectStart(m_sounds, "thud", 1.0f, Vec3{}), -1);
  music = Query(c_audioMusicChannel);
  EXPECT_EQ(music.m_buffer, m_sounds[c_soundMusic]);
  EXPECT_TRUE(music.m_looping && music.m_playing);

  // An effect without a place plays at the listener; one at a tile plays there, falling off.
  AudioChannelState s = Query(7);
  EXPECT_TRUE(s.m_relative);
  EXPECT_FALSE(s.m_looping);
  AudioStop(7);
  ASSERT_EQ(SoundEffectStart(m_sounds, "thud", 2.0f, Vec3{0.5f, -1.0f, 2.0f}), 7);
  s = Query(7);
  EXPECT_FALSE(s.m_relative);
  EXPECT_EQ(s.m_buffer, m_sounds[7]);
  EXPECT_FLOAT_EQ(s.m_gain, 2.0f);
  EXPECT_FLOAT_EQ(s.m_rolloff, c_soundRolloff);
  EXPECT_FLOAT_EQ(s.m_position[0], 0.5f);
  EXPECT_FLOAT_EQ(s.m_position[1], -1.0f);
  EXPECT_FLOAT_EQ(s.m_position[2], 2.0f);

  // Names outside the table are reported and change nothing.
  {
    CapturedLog log;
    AudioStop(3);
    EXPECT_EQ(SoundEffectStart(m_sounds, "thuds", 1.0f, Vec3{}), -1);
    EXPECT_FALSE(MusicStart(m_sounds, "waltz", 1.0f));
    EXPECT_TRUE(log.HasLine("Failed to play unknown sound 'thuds'"));
    EXPECT_TRUE(log.HasLine("Failed to play unknown music 'waltz'"));
    EXPECT_FALSE(AudioIsPlaying(3));
    EXPECT_EQ(Query(c_audioMusicChannel).m_buffer, m_sounds[c_soundMusic]);
  }

  // Fast forward: the effects at the pitch, the music at its own fast pitch when it follows the
  // game, and quieter either way.
  const float quiet = 0.5f * c_musicFastVolumeScale;
  const struct {
    float pitch;
    bool musicFF;
    float effectPitch, musicPitch, musicGain;
  } speeds[] = {
      {2.0f, true, 2.0f, 3.0f, quiet * quiet * quiet},
      {1.0f, true, 1.0f, 1.0f, 0.125f},
      {2.0f, false, 2.0f, 1.0f, quiet * quiet * quiet},
      {1.0f, false, 1.0f, 1.0f, 0.125f},
      // Sped up with the option on, released after it was turned off: the music slows down too.
      {2.0f, true, 2.0f, 3.0f, quiet * quiet * quiet},
      {1.0f, false, 1.0f, 1.0f, 0.125f},
  };
  for (const auto& sp : speeds) {
    MusicSpeedApply(sp.pitch, sp.musicFF, 0.5f);
    EXPECT_FLOAT_EQ(Query(0).m_pitch, sp.effectPitch);
    EXPECT_FLOAT_EQ(Query(30).m_pitch, sp.effectPitch);
    EXPECT_FLOAT_EQ(Query(c_audioMusicChannel).m_pitch, sp.musicPitch) << sp.pitch << " " << sp.musicFF;
    EXPECT_NEAR(Query(c_audioMusicChannel).m_gain, sp.musicGain, 1e-6f) << sp.pitch << " " << sp.musicFF;
  }

  // The music volume option reaches the channel when it changes, and only then.
  float volume = 0.0f;
  EXPECT_TRUE(MusicVolumeFollow(0.7f, false, &volume));
  EXPECT_FLOAT_EQ(volume, 0.7f);
  EXPECT_NEAR(Query(c_audioMusicChannel).m_gain, 0.343f, 1e-6f);
  AudioSetGain(c_audioMusicChannel, 1.0f);
  EXPECT_FALSE(MusicVolumeFollow(0.7f, false, &volume));
  EXPECT_FLOAT_EQ(Query(c_audioMusicChannel).m_gain, 1.0f);
  // Changed while the game runs fast, the music stays at its fast-forward share.
  EXPECT_TRUE(MusicVolumeFollow(0.5f, true, &volume));
  EXPECT_NEAR(Query(c_audioMusicChannel).m_gain, quiet * quiet * quiet, 1e-6f);
}

// Without audio the seventeen loads are skipped with one line, no assertion fires, and effects
// and music are silent no-ops.
TEST_F(VisSound, ClosedAudioRunsSilent) {
  AudioExit();
  CapturedLog log;
  for (uint32_t& s : m_sounds) s = 99;
  EXPECT_EQ(SoundsLoad(m_sounds), 0);
  EXPECT_EQ(log.Count(), 1);
  EXPECT_TRUE(log.HasPrefix("Audio is closed: the 17 sounds are not loaded")) << log.Line(0);
  for (uint32_t s : m_sounds) EXPECT_EQ(s, 0u);
  EXPECT_EQ(SoundEffectStart(m_sounds, "thud", 1.0f, Vec3{}), -1);
  EXPECT_TRUE(MusicStart(m_sounds, "townthemeraw", 0.7f));
  MusicSpeedApply(2.0f, true, 0.7f);
  float volume = 0.0f;
  EXPECT_TRUE(MusicVolumeFollow(0.7f, false, &volume));
  EXPECT_EQ(log.Count(), 1) << log.Line(1);
}

// Sound files that are missing, cut short, of a kind the audio cannot take, or lying about
// their sizes give no buffer and one line each, never a crash.
TEST_F(VisSound, HostileSoundFiles) {
  const std::string dir = TestTempFolder("sounds");
  auto wav = [](uint16_t tag, uint16_t channels, uint16_t bits, uint32_t dataSize, uint32_t actual) {
    std::vector<uint8_t> b;
    auto u16 = [&](uint32_t v) { b.push_back(v & 0xff), b.push_back((v >> 8) & 0xff); };
    auto u32 = [&](uint32_t v) { u16(v & 0xffff), u16(v >> 16); };
    auto tag4 = [&](const char* t) {
      for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(t[i]));
    };
    tag4("RIFF"), u32(36 + actual), tag4("WAVE"), tag4("fmt "), u32(16), u16(tag), u16(channels), u32(22050);
    u32(22050 * channels * bits / 8), u16(channels * bits / 8), u16(bits), tag4("data"), u32(dataSize);
    b.resize(b.size() + actual, 0x40);
    return b;
  };
  const struct {
    const char* name;
    std::vector<uint8_t> image;
    const char* line;
  } files[] = {
      {"adpcm.wav", wav(17, 1, 4, 512, 512), "is not a PCM WAVE sound"},
      {"wide.wav", wav(1, 1, 24, 300, 300), "is not 8- or 16-bit mono or stereo PCM"},
      {"surround.wav", wav(1, 6, 16, 120, 120), "is not 8- or 16-bit mono or stereo PCM"},
      {"liar.wav", wav(1, 1, 16, 1000000, 100), "is not a PCM WAVE sound"},
      {"text.wav", std::vector<uint8_t>(64, 'x'), "is not a PCM WAVE sound"},
      {"empty.wav", {}, "has 0 bytes"},
  };
  for (const auto& f : files) {
    std::ofstream(dir + "/" + f.name, std::ios::binary)
        .write(reinterpret_cast<const char*>(f.image.data()), f.image.size());
  }
  ASSERT_TRUE(FoldersSet(UserFolderGet(), dir.c_str()));
  for (const auto& f : files) {
    CapturedLog log;
    EXPECT_EQ(SoundFileLoad(f.name), 0u) << f.name;
    EXPECT_EQ(log.Count(), 1) << f.name;
    EXPECT_NE(log.Find(f.line), -1) << f.name << ": " << log.Line(0);
  }
  CapturedLog log;
  EXPECT_EQ(SoundFileLoad("missing.wav"), 0u);
  EXPECT_TRUE(log.HasLine("Cannot open sound file 'missing.wav'"));
  // An odd byte at the end of 16-bit data is left out rather than refused.
  std::vector<uint8_t> odd = wav(1, 1, 16, 201, 201);
  std::ofstream(dir + "/odd.wav", std::ios::binary).write(reinterpret_cast<const char*>(odd.data()), odd.size());
  log.Clear();
  EXPECT_NE(SoundFileLoad("odd.wav"), 0u);
  EXPECT_TRUE(log.HasLine("Loaded 200 bytes for odd.wav")) << log.Line(0);
  ASSERT_TRUE(FoldersSet(UserFolderGet(), DataDir().c_str()));
}

// What the wave-file output recorded: the peak of its samples (16-bit or float), or -1.
double RecordedPeak(const std::vector<uint8_t>& b, int* sampleCount) {
  *sampleCount = 0;
  if (b.size() < 12 || memcmp(b.data(), "RIFF", 4) || memcmp(b.data() + 8, "WAVE", 4)) return -1;
  uint32_t format = 0, bits = 0;
  double peak = 0;
  for (size_t at = 12; at + 8 <= b.size();) {
    uint32_t size;
    memcpy(&size, &b[at + 4], 4);
    const size_t body = at + 8, end = std::min(b.size(), body + size);
    if (!memcmp(&b[at], "fmt ", 4) && size >= 16) {
      format = b[body] | b[body + 1] << 8;
      bits = b[body + 14] | b[body + 15] << 8;
      if (format == 0xfffe && size >= 26) format = b[body + 24] | b[body + 25] << 8;  // the extensible kind
    } else if (!memcmp(&b[at], "data", 4)) {
      for (size_t i = body; i + bits / 8 <= end; i += bits / 8) {
        double v = 0;
        if (format == 3 && bits == 32) {
          float f;
          memcpy(&f, &b[i], 4);
          v = f;
        } else if (format == 1 && bits == 16) {
          int16_t s;
          memcpy(&s, &b[i], 2);
          v = s / 32768.0;
        } else {
          return -1;
        }
        peak = std::max(peak, std::fabs(v));
        ++*sampleCount;
      }
    }
    at = body + size;
  }
  return peak;
}

// The wave-file output runs in a child process of its own: OpenAL reads its configuration once
// per process. The child plays one chop through the game's path and closes audio, which
// finishes the file; the parent measures it.
TEST_F(VisSound, WaveOutputRecordsAnEffect) {
  AudioExit();
  const std::string dir = TestTempFolder("wave");
  const std::string out = dir + "/out.wav", conf = dir + "/alsoft.conf";
  std::ofstream(conf) << "[general]\ndrivers = wave\n[wave]\nfile = " << out << "\n";
  const char* drivers = getenv("ALSOFT_DRIVERS");
  const std::string oldDrivers = drivers ? drivers : "";
  setenv("ALSOFT_DRIVERS", "wave", 1);
  setenv("ALSOFT_CONF", conf.c_str(), 1);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (AudioInit(nullptr, 0.16f) != 1) _exit(3);
        uint32_t sounds[c_soundCount];
        if (SoundsLoad(sounds) != c_soundCount) _exit(4);
        if (SoundEffectStart(sounds, "cuttree", 1.0f, Vec3{}) != 0) _exit(5);
        // The chop is half a second; the bound is only for a fault, as the mixer runs late on a
        // loaded machine. Closing the device joins the mixer, which has written what it mixed.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (AudioIsPlaying(0) && std::chrono::steady_clock::now() < deadline)
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        AudioExit();
        _exit(0);
      },
      testing::ExitedWithCode(0), "");
  unsetenv("ALSOFT_CONF");
  if (drivers)
    setenv("ALSOFT_DRIVERS", oldDrivers.c_str(), 1);
  else
    unsetenv("ALSOFT_DRIVERS");
  int samples = 0;
  const double peak = RecordedPeak(ReadAll(out), &samples);
  // At least the chop's half second went out (stereo, 44.1 kHz or more), and loudly.
  EXPECT_GT(samples, 40000) << out;
  EXPECT_GT(peak, 0.1) << out;
  EXPECT_LE(peak, 1.0) << out;
}

}  // namespace

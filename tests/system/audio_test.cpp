// Audio channels on OpenAL's silent output: the channel settings, volumes cubed, the pitch rules,
// a new buffer on a busy channel, bad channel numbers, and audio closed or never opened.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "captured_log.h"
#include "system/audio.h"
#include "test_support.h"

namespace {

// A one-second looping tone, long enough to be still playing when it is replaced.
std::vector<int16_t> Tone(int samples) {
  std::vector<int16_t> s(samples);
  for (int i = 0; i < samples; ++i) s[i] = static_cast<int16_t>((i % 50) * 400 - 10000);
  return s;
}

class Audio : public testing::Test {
 protected:
  void SetUp() override {
    // Without a sound card the default device fails: the silent output stands in.
    setenv("ALSOFT_DRIVERS", "null", 0);
    ASSERT_EQ(AudioInit(nullptr, 0.16f), 1);
  }
  void TearDown() override { AudioExit(); }
  uint32_t MakeBuffer(int samples) {
    const uint32_t buffer = AudioBufferCreate();
    EXPECT_NE(buffer, c_audioNoBuffer);
    std::vector<int16_t> s = Tone(samples);
    AudioBufferData(buffer, 1, 16, 22050, samples * 2, s.data());
    return buffer;
  }
  static AudioChannelState Query(int channel) {
    AudioChannelState s;
    EXPECT_TRUE(AudioChannelQuery(channel, &s));
    return s;
  }
};

TEST_F(Audio, PlaySettingsVolumesAndPitch) {
  const uint32_t tone = MakeBuffer(22050);
  CapturedLog log;
  // The play settings: distances, fall-off, the gain as passed (not cubed), looping, relative.
  AudioPlay(4, tone, 0.7f, 5.0f, true, true);
  AudioChannelState s = Query(4);
  EXPECT_FLOAT_EQ(s.m_referenceDistance, 0.16f);
  EXPECT_FLOAT_EQ(s.m_maxDistance, c_audioMaxDistance);
  EXPECT_FLOAT_EQ(s.m_rolloff, 5.0f);
  EXPECT_FLOAT_EQ(s.m_gain, 0.7f);
  EXPECT_TRUE(s.m_looping);
  EXPECT_TRUE(s.m_relative);
  EXPECT_TRUE(s.m_playing);
  EXPECT_EQ(s.m_buffer, tone);
  // A second play resets the position, which a positional effect then sets.
  AudioSetPosition(4, 1.0f, -2.0f, 3.0f);
  AudioPlay(4, tone, 1.0f, 5.0f, false, false);
  s = Query(4);
  EXPECT_FALSE(s.m_relative);
  EXPECT_FALSE(s.m_looping);
  EXPECT_FLOAT_EQ(s.m_position[0] * s.m_position[0] + s.m_position[1] * s.m_position[1], 0.0f);

  // Volumes are cubed on their way to OpenAL.
  const struct { float volume, gain; } volumes[] = {{0.5f, 0.125f}, {1.0f, 1.0f}, {0.0f, 0.0f}, {0.9f, 0.729f}};
  for (const auto& v : volumes) {
    AudioSetGain(3, v.volume);
    EXPECT_NEAR(Query(3).m_gain, v.gain, 1e-6f) << v.volume;
    AudioSetMasterGain(v.volume);
    EXPECT_NEAR(AudioListenerGain(), v.gain, 1e-6f) << v.volume;
  }

  // Pitch: the music channel takes its own fast pitch when included and sped up.
  const struct {
    float pitch;
    int count;
    float low, music;  // channels 0..30, channel 31
  } pitches[] = {
      {2.0f, 32, 2.0f, 3.0f},  // fast forward with the music
      {1.0f, 32, 1.0f, 1.0f},  // back to normal everywhere
      {2.0f, 31, 2.0f, 1.0f},  // fast forward without the music: channel 31 untouched
      {0.5f, 32, 0.5f, 0.5f},  // slower than normal is passed on as it is
      {1.0f, 32, 1.0f, 1.0f},
  };
  for (const auto& p : pitches) {
    AudioSetPitch(p.pitch, p.count);
    for (int c = 0; c < c_audioChannelLimit; ++c)
      ASSERT_FLOAT_EQ(Query(c).m_pitch, c == c_audioMusicChannel ? p.music : p.low)
          << p.pitch << "/" << p.count << " #" << c;
  }
  EXPECT_EQ(log.Find("OpenAL error"), -1) << log.Line(0);
}

// OpenAL refuses a new buffer on a playing source and keeps playing the old one: the channel
// layer stops it first, so the new sound is what plays.
TEST_F(Audio, NewBufferOnPlayingChannel) {
  const uint32_t first = MakeBuffer(22050), second = MakeBuffer(11025);
  CapturedLog log;
  AudioPlay(0, first, 1.0f, 5.0f, true, true);
  ASSERT_TRUE(AudioIsPlaying(0));
  AudioPlay(0, second, 0.5f, 5.0f, true, true);
  AudioChannelState s = Query(0);
  EXPECT_EQ(s.m_buffer, second);
  EXPECT_TRUE(s.m_playing);
  // "No buffer" plays the current buffer again with the new settings.
  AudioPlay(0, c_audioNoBuffer, 0.25f, 5.0f, true, false);
  s = Query(0);
  EXPECT_EQ(s.m_buffer, second);
  EXPECT_FLOAT_EQ(s.m_gain, 0.25f);
  EXPECT_FALSE(s.m_looping);
  EXPECT_TRUE(s.m_playing);
  // Stopping detaches the buffer.
  AudioStop(0);
  s = Query(0);
  EXPECT_FALSE(s.m_playing);
  EXPECT_EQ(s.m_buffer, 0u);
  EXPECT_EQ(log.Find("OpenAL error"), -1) << log.Line(log.Find("OpenAL error"));
}

// Bad channel numbers and sample formats are asserted and touch nothing.
TEST_F(Audio, HostileArguments) {
  const uint32_t tone = MakeBuffer(2205);
  ExpectAsserts asserts;
  AudioPlay(-1, tone, 1.0f, 5.0f, true, false);
  AudioPlay(c_audioChannelLimit, tone, 1.0f, 5.0f, true, false);
  AudioSetGain(32, 0.5f);
  AudioSetPosition(-5, 0.0f, 0.0f, 0.0f);
  AudioStop(1000);
  EXPECT_FALSE(AudioIsPlaying(-1));
  EXPECT_EQ(asserts.Count(), 6);
  EXPECT_TRUE(asserts.Saw("(channel >= 0) && (channel < c_audioChannelLimit)"));
  int16_t samples[4] = {};
  AudioBufferData(tone, 3, 16, 22050, 8, samples);
  AudioBufferData(tone, 1, 24, 22050, 8, samples);
  EXPECT_EQ(asserts.Count(), 8);
  EXPECT_TRUE(asserts.Saw("(channelCount == 1) || (channelCount == 2)"));
  EXPECT_TRUE(asserts.Saw("(channelBits == 8) || (channelBits == 16)"));
  for (int c = 0; c < c_audioChannelLimit; ++c) EXPECT_FALSE(AudioIsPlaying(c)) << c;
}

// Closed audio (a machine without sound) makes every call a quiet no-op; it opens again later.
TEST_F(Audio, ClosedAndReopened) {
  AudioExit();
  EXPECT_FALSE(AudioIsOpen());
  {
    CapturedLog log;
    EXPECT_EQ(AudioBufferCreate(), c_audioNoBuffer);
    AudioPlay(0, 5, 1.0f, 5.0f, true, false);
    AudioSetPitch(2.0f, 32);
    AudioSetMasterGain(0.5f);
    const float v[3] = {0, 0, 1};
    AudioSetListener(v, v, v);
    AudioStop(31);
    EXPECT_FALSE(AudioIsPlaying(0));
    AudioChannelState s;
    EXPECT_FALSE(AudioChannelQuery(0, &s));
    EXPECT_EQ(AudioListenerGain(), -1.0f);
    EXPECT_EQ(log.Count(), 0) << log.Line(0);
  }
  // A device that does not exist leaves audio closed.
  EXPECT_EQ(AudioInit("no such sound device", 0.16f), 0);
  EXPECT_FALSE(AudioIsOpen());
  ASSERT_EQ(AudioInit("", 0.16f), 1);
  EXPECT_TRUE(AudioIsOpen());
  const uint32_t tone = MakeBuffer(22050);
  AudioPlay(c_audioMusicChannel, tone, 1.0f, 5.0f, true, true);
  EXPECT_TRUE(AudioIsPlaying(c_audioMusicChannel));
}

}  // namespace

// Checks the generated sounds of the data folder: each parses, is neither silent nor clipped, starts
// and stops without a click, has the brightness of what it names, the music loops without a seam,
// and a second generation writes the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/vis/vis_sound.h"
#include "test_support.h"
#include "utility/wavinfo.h"

namespace {

struct Sound {
  WavInfo info;
  std::vector<int16_t> samples;
  double Seconds() const { return static_cast<double>(samples.size()) / info.m_sampleRate; }
  double Peak() const {
    int peak = 0;
    for (int16_t v : samples) peak = std::max(peak, std::abs(static_cast<int>(v)));
    return peak / 32768.0;
  }
  double Rms() const {
    double sum = 0;
    for (int16_t v : samples) sum += static_cast<double>(v) * v;
    return std::sqrt(sum / std::max<size_t>(1, samples.size())) / 32768.0;
  }
  // Sign changes per second, halved, in frames of 512 samples weighted by their energy: the pitch
  // of a tone, the brightness of a noise. A sound's character in one number, without a Fourier
  // transform.
  double Brightness() const {
    double weighted = 0, energy = 0;
    for (size_t start = 0; start + 512 <= samples.size(); start += 512) {
      double e = 0;
      int crossings = 0;
      for (size_t i = start; i < start + 512; ++i) {
        e += static_cast<double>(samples[i]) * samples[i];
        if (i > start) crossings += (samples[i] < 0) != (samples[i - 1] < 0);
      }
      weighted += e * 0.5 * crossings * info.m_sampleRate / 511.0;
      energy += e;
    }
    return energy > 0 ? weighted / energy : 0.0;
  }
};

bool Load(const std::string& path, Sound* out) {
  const std::vector<uint8_t> image = ReadAll(path);
  if (!out->info.Parse(image.data(), static_cast<int64_t>(image.size()))) return false;
  out->samples.resize(out->info.m_dataSize / 2);
  memcpy(out->samples.data(), image.data() + out->info.m_dataOffset, out->samples.size() * 2);
  return true;
}

TEST(SoundsData, EverySoundIsCleanAndLikeItsName) {
  // Brightness ranges (Hz) that say "low thump", "wooden knock", "bright metal or chime".
  const struct {
    const char* name;
    double minSeconds, maxSeconds, minBright, maxBright;
  } expected[] = {
      {"townthemeraw", 20.0, 60.0, 150, 1200},  // a tune: melody over a bass
      {"waterpickup", 0.3, 1.0, 300, 2500},
      {"scream", 1.0, 3.0, 400, 1500},  // a voice, high
      {"drop", 0.2, 0.8, 30, 400},      // a body landing: low
      {"cutstone", 0.2, 0.8, 1500, 6000},
      {"cuttree", 0.2, 0.8, 150, 1200},  // a hollow knock
      {"pickup", 0.1, 0.5, 300, 2000},
      {"thud", 0.2, 0.8, 30, 300},  // the lowest of all
      {"clang", 0.8, 2.5, 300, 2500},
      {"brick", 0.1, 0.6, 400, 3000},
      {"hammer", 0.3, 0.9, 300, 4000},
      {"poop", 0.3, 1.0, 50, 600},
      {"apple", 0.2, 0.6, 1000, 5000},  // a crunch: bright noise
      {"tick", 0.03, 0.2, 1500, 5000},
      {"drama", 1.5, 4.0, 50, 600},    // low brass and drums
      {"ting", 0.8, 2.5, 1000, 2000},  // the chime's note, 1.3 kHz
      {"cratebreak", 0.4, 1.2, 300, 4000},
  };
  ASSERT_EQ(std::size(expected), static_cast<size_t>(c_soundCount));
  for (int i = 0; i < c_soundCount; ++i) {
    const auto& e = expected[i];
    ASSERT_STREQ(e.name, c_soundNames[i]);
    Sound s;
    ASSERT_TRUE(Load(DataDir() + "/data/sounds/" + e.name + ".wav", &s)) << e.name;
    EXPECT_EQ(s.info.m_kind, static_cast<uint32_t>(WavInfo::KIND_PCM)) << e.name;
    EXPECT_EQ(s.info.m_bitsPerSample, 16u) << e.name;
    EXPECT_EQ(s.info.m_channels, 1u) << e.name;
    EXPECT_EQ(s.info.m_sampleRate, 22050u) << e.name;
    EXPECT_GE(s.Seconds(), e.minSeconds) << e.name;
    EXPECT_LE(s.Seconds(), e.maxSeconds) << e.name;
    // Loud enough to hear (above -30 dB RMS) and never at full scale (peak below -1 dB).
    EXPECT_GT(s.Rms(), 0.0316) << e.name;
    EXPECT_LT(s.Peak(), 0.891) << e.name;
    const double bright = s.Brightness();
    EXPECT_GE(bright, e.minBright) << e.name;
    EXPECT_LE(bright, e.maxBright) << e.name;
    if (i != c_soundMusic) {
      // An effect starts and ends at rest, so it never clicks on or off.
      EXPECT_LE(std::abs(s.samples.front()), 64) << e.name;
      EXPECT_LE(std::abs(s.samples.back()), 64) << e.name;
    }
  }
}

// The music's last sample leads into its first as any sample leads into the next: the step across
// the seam and its change of slope are no bigger than 99 in 100 steps inside the tune.
TEST(SoundsData, MusicLoopsWithoutAClick) {
  Sound s;
  ASSERT_TRUE(Load(DataDir() + "/data/sounds/townthemeraw.wav", &s));
  const std::vector<int16_t>& x = s.samples;
  const size_t n = x.size();
  ASSERT_GT(n, 20u * 22050u);
  std::vector<int> steps, bends;
  for (size_t i = 2; i < n; ++i) {
    steps.push_back(std::abs(x[i] - x[i - 1]));
    bends.push_back(std::abs(x[i] - 2 * x[i - 1] + x[i - 2]));
  }
  auto quantile99 = [](std::vector<int> v) {
    std::nth_element(v.begin(), v.begin() + v.size() * 99 / 100, v.end());
    return v[v.size() * 99 / 100];
  };
  const int seamStep = std::abs(x[0] - x[n - 1]);
  const int seamBend = std::abs(x[0] - 2 * x[n - 1] + x[n - 2]);
  EXPECT_LE(seamStep, quantile99(steps)) << "first " << x[0] << ", last " << x[n - 1];
  EXPECT_LE(seamBend, quantile99(bends));
  EXPECT_LE(std::abs(x[1] - 2 * x[0] + x[n - 1]), quantile99(bends));
}

// A second run of the generator writes the same bytes as the build did.
TEST(SoundsData, GenerationIsReproducible) {
  const std::string out = TestTempFolder("sounds");
  const std::string tool = DataDir() + "/tools/make_sounds";
  ASSERT_EQ(system(("'" + tool + "' '" + out + "' > /dev/null").c_str()), 0);
  for (const char* name : c_soundNames) {
    const std::vector<uint8_t> built = ReadAll(DataDir() + "/data/sounds/" + name + ".wav");
    EXPECT_FALSE(built.empty()) << name;
    EXPECT_TRUE(built == ReadAll(out + "/" + name + ".wav")) << name << " differs between two generations";
  }
}

}  // namespace

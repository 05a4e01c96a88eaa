// Generates the game's sounds (sounds/*.wav): sixteen effects and the looping town theme, synthesised.
//
// Usage: make_sounds <sounds folder> [--stats] [--preview <png>]
//
// Every sound is built from a few plain ingredients: decaying sines (struck wood, stone and metal,
// bells), pitch sweeps (thumps, bubbles, plops), filtered noise bursts and grains (cracks, splinters,
// crunches, splashes) and additive voices (the scream, the brass of the sting, the tune's instruments).
// Effects get a short fade at both ends so nothing clicks, and are scaled to a fixed peak below full
// scale. The music is rendered into a circular buffer (notes that ring past the end continue at the
// start) and its echo runs twice round the loop, so the last sample leads into the first without a
// seam. Noise comes from a seeded xorshift generator and only plain double arithmetic, sin, exp and
// pow run in a fixed order, so every build writes the same bytes. --stats prints each file's
// duration, peak and RMS; --preview draws every sound's spectrogram and waveform into a PNG, one row
// each in table order (the music's row shows its first 27 seconds up to 2 kHz, where the notes are).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "utility/png.h"

namespace {

constexpr double c_pi = 3.14159265358979323846;
constexpr int c_rate = 22050;
using Buffer = std::vector<double>;

// ---------------------------------------------------------------------------------------------------
// Ingredients

// xorshift32: the same noise on every build and machine.
struct Rng {
  uint32_t s;
  explicit Rng(uint32_t seed) : s(seed ? seed : 1u) {}
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
  // Uniform in [-1, 1).
  double Noise() { return static_cast<double>(Next() >> 8) / 8388608.0 - 1.0; }
  // Uniform in [lo, hi).
  double Range(double lo, double hi) { return lo + (hi - lo) * (0.5 * (Noise() + 1.0)); }
};

// A second-order filter in the usual cookbook forms.
struct Biquad {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
  double z1 = 0, z2 = 0;
  double Run(double x) {
    const double y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
  }
};

Biquad MakeFilter(int kind, double freq, double q) {
  const double w = 2.0 * c_pi * freq / c_rate;
  const double cw = std::cos(w), alpha = std::sin(w) / (2.0 * q);
  double b0, b1, b2;
  if (kind == 0) {  // low-pass
    b0 = (1 - cw) / 2, b1 = 1 - cw, b2 = (1 - cw) / 2;
  } else if (kind == 1) {  // high-pass
    b0 = (1 + cw) / 2, b1 = -(1 + cw), b2 = (1 + cw) / 2;
  } else {  // band-pass, 0 dB at the centre
    b0 = alpha, b1 = 0, b2 = -alpha;
  }
  const double a0 = 1 + alpha;
  Biquad f;
  f.b0 = b0 / a0, f.b1 = b1 / a0, f.b2 = b2 / a0;
  f.a1 = -2 * cw / a0, f.a2 = (1 - alpha) / a0;
  return f;
}
Biquad LowPass(double f, double q = 0.707) { return MakeFilter(0, f, q); }
Biquad HighPass(double f, double q = 0.707) { return MakeFilter(1, f, q); }
Biquad BandPass(double f, double q) { return MakeFilter(2, f, q); }

int Samples(double seconds) { return static_cast<int>(std::lround(seconds * c_rate)); }

// A raised-cosine rise over `attack` seconds, then an exponential fall with time constant `tau`.
double Strike(double t, double attack, double tau) {
  if (t < 0) return 0;
  const double rise = t < attack ? 0.5 - 0.5 * std::cos(c_pi * t / attack) : 1.0;
  return rise * std::exp(-t / tau);
}

// Where a decaying sound has fallen 80 dB, so its loop can stop.
int DecayEnd(double attack, double tau) { return Samples(attack + tau * 9.3) + 1; }

void AddAt(Buffer& b, int i, double v) {
  if (i >= 0 && i < static_cast<int>(b.size())) b[i] += v;
}

// A struck mode: a sine with a short rise and an exponential decay.
void AddMode(Buffer& b, double t0, double freq, double amp, double tau, double attack = 0.001) {
  const int start = Samples(t0), n = DecayEnd(attack, tau);
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / c_rate;
    AddAt(b, start + i, amp * Strike(t, attack, tau) * std::sin(2 * c_pi * freq * t));
  }
}

// A sine whose frequency glides from f0 towards f1 with time constant `glide`.
void AddSweep(Buffer& b, double t0, double f0, double f1, double glide, double amp, double tau, double attack = 0.002) {
  const int start = Samples(t0), n = DecayEnd(attack, tau);
  double phase = 0;
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / c_rate;
    const double f = f1 + (f0 - f1) * std::exp(-t / glide);
    AddAt(b, start + i, amp * Strike(t, attack, tau) * std::sin(phase));
    phase += 2 * c_pi * f / c_rate;
  }
}

// Filtered noise under a strike envelope.
void AddNoise(Buffer& b, Rng& rng, double t0, Biquad filter, double amp, double tau, double attack = 0.0005) {
  const int start = Samples(t0), n = DecayEnd(attack, tau);
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / c_rate;
    AddAt(b, start + i, amp * Strike(t, attack, tau) * filter.Run(rng.Noise()));
  }
}

// Short noise grains scattered over [t0, t1), thinning out: crackles, splinters, crunches, debris.
void AddGrains(Buffer& b, Rng& rng, int count, double t0, double t1, double fLo, double fHi, double amp, double fade) {
  for (int g = 0; g < count; ++g) {
    const double u = rng.Range(0.0, 1.0);
    const double t = t0 + (t1 - t0) * u * u;  // denser at the start
    const double f = rng.Range(fLo, fHi);
    const double a = amp * rng.Range(0.3, 1.0) * std::exp(-(t - t0) / fade);
    AddNoise(b, rng, t, BandPass(f, 1.2), a, rng.Range(0.002, 0.007), 0.0003);
  }
}

// A feedback echo, for a little room around the sting and the chime.
void Echo(Buffer& b, double delay, double feedback, double mix) {
  const int d = Samples(delay);
  Buffer wet(b.size(), 0.0);
  for (size_t i = 0; i < b.size(); ++i) {
    const double back = i >= static_cast<size_t>(d) ? wet[i - d] : 0.0;
    wet[i] = (i >= static_cast<size_t>(d) ? b[i - d] : 0.0) + feedback * back;
  }
  for (size_t i = 0; i < b.size(); ++i) b[i] += mix * wet[i];
}

// Fades both ends (nothing clicks when the sound starts or stops) and scales the peak.
void Finish(Buffer& b, double peak, double fadeIn = 0.001, double fadeOut = 0.012) {
  const int n = static_cast<int>(b.size());
  const int in = std::max(1, Samples(fadeIn)), out = std::max(1, Samples(fadeOut));
  for (int i = 0; i < n && i < in; ++i) b[i] *= static_cast<double>(i) / in;
  for (int i = 0; i < n && i < out; ++i) b[n - 1 - i] *= static_cast<double>(i) / out;
  double top = 0;
  for (double v : b) top = std::max(top, std::fabs(v));
  if (top > 0)
    for (double& v : b) v *= peak / top;
}

Buffer Make(double seconds) { return Buffer(static_cast<size_t>(Samples(seconds)), 0.0); }

// ---------------------------------------------------------------------------------------------------
// The effects

// An axe biting into a trunk: a sharp crack, then the hollow knock of the wood.
Buffer CutTree() {
  Buffer b = Make(0.5);
  Rng rng(101);
  AddNoise(b, rng, 0.0, HighPass(1500), 1.4, 0.004);
  AddNoise(b, rng, 0.0, BandPass(2500, 1.5), 1.0, 0.008);
  AddNoise(b, rng, 0.0, BandPass(650, 2.0), 1.6, 0.030, 0.001);
  AddMode(b, 0.0, 190, 0.9, 0.055, 0.002);
  AddMode(b, 0.0, 423, 0.55, 0.040, 0.0015);
  AddMode(b, 0.0, 781, 0.35, 0.025);
  AddMode(b, 0.0, 1370, 0.15, 0.012);
  return b;
}

// A pick on rock: a bright tink, a dull knock and a trickle of chips.
Buffer CutStone() {
  Buffer b = Make(0.45);
  Rng rng(202);
  AddNoise(b, rng, 0.0, HighPass(3000), 0.9, 0.003);
  AddMode(b, 0.0, 2150, 0.6, 0.040);
  AddMode(b, 0.0, 3420, 0.45, 0.025);
  AddMode(b, 0.0, 5030, 0.3, 0.015);
  AddNoise(b, rng, 0.0, BandPass(500, 1.0), 1.0, 0.020, 0.001);
  AddGrains(b, rng, 16, 0.03, 0.38, 2000, 6000, 0.5, 0.12);
  return b;
}

// A heavy load set down: a low pitch-dropping thump with a dull body.
Buffer Thud() {
  Buffer b = Make(0.55);
  Rng rng(303);
  AddSweep(b, 0.0, 120, 55, 0.040, 1.0, 0.100, 0.003);
  AddNoise(b, rng, 0.0, LowPass(400), 1.6, 0.040, 0.002);
  AddMode(b, 0.0, 250, 0.2, 0.025, 0.002);
  return b;
}

// A body landing on the ground: a soft thump, a rustle and a small bounce.
Buffer Drop() {
  Buffer b = Make(0.45);
  Rng rng(404);
  AddSweep(b, 0.0, 95, 48, 0.060, 1.0, 0.110, 0.004);
  AddNoise(b, rng, 0.0, LowPass(700), 1.2, 0.060, 0.003);
  AddNoise(b, rng, 0.005, BandPass(3000, 0.8), 0.35, 0.080, 0.010);
  AddSweep(b, 0.13, 110, 60, 0.030, 0.35, 0.050, 0.003);
  AddNoise(b, rng, 0.13, LowPass(900), 0.4, 0.030, 0.002);
  return b;
}

// Metal struck hard (a chain or a cage door): inharmonic partials that beat and ring on.
Buffer Clang() {
  Buffer b = Make(1.6);
  Rng rng(505);
  const double ratios[9] = {1.0, 1.47, 2.09, 2.56, 3.42, 4.13, 5.21, 6.8, 8.3};
  const double amps[9] = {0.7, 0.8, 0.6, 0.5, 0.45, 0.35, 0.3, 0.2, 0.15};
  const double taus[9] = {1.1, 0.9, 0.7, 0.55, 0.4, 0.3, 0.22, 0.15, 0.1};
  for (int k = 0; k < 9; ++k) {
    AddMode(b, 0.0, 520 * ratios[k] - 1.3, amps[k], taus[k]);
    AddMode(b, 0.0, 520 * ratios[k] + 1.3, amps[k] * 0.8, taus[k] * 0.9);
  }
  AddNoise(b, rng, 0.0, HighPass(2500), 1.0, 0.006);
  return b;
}

// Building work: two hammer blows on a nail, a metallic ping over a wooden knock.
Buffer Hammer() {
  Buffer b = Make(0.6);
  Rng rng(606);
  for (int hit = 0; hit < 2; ++hit) {
    const double t = hit * 0.3, s = hit ? 0.8 : 1.0, up = hit ? 1.04 : 1.0;
    AddNoise(b, rng, t, HighPass(2000), 0.8 * s, 0.002);
    AddMode(b, t, 3150 * up, 0.5 * s, 0.030);
    AddMode(b, t, 4870 * up, 0.3 * s, 0.018);
    AddNoise(b, rng, t, BandPass(800, 3.0), 1.8 * s, 0.015, 0.0008);
    AddMode(b, t, 160, 0.5 * s, 0.025, 0.0015);
  }
  return b;
}

// A brick laid on a brick: a stony clack and a short scrape.
Buffer Brick() {
  Buffer b = Make(0.32);
  Rng rng(707);
  AddNoise(b, rng, 0.0, BandPass(1800, 1.5), 1.6, 0.008);
  AddMode(b, 0.0, 620, 0.7, 0.018);
  AddMode(b, 0.0, 1130, 0.45, 0.012);
  Biquad scrape = BandPass(2500, 0.7);
  const int start = Samples(0.04), n = Samples(0.22);
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / c_rate;
    const double env = (t < 0.02 ? t / 0.02 : std::exp(-(t - 0.02) / 0.05)) * (1.0 + 0.5 * std::sin(2 * c_pi * 37 * t));
    AddAt(b, start + i, 0.3 * env * scrape.Run(rng.Noise()));
  }
  return b;
}

// Something lifted: a quick rising bloop and the rustle of a grab.
Buffer Pickup() {
  Buffer b = Make(0.25);
  Rng rng(808);
  AddSweep(b, 0.0, 300, 900, 0.040, 1.0, 0.060, 0.005);
  AddSweep(b, 0.0, 600, 1800, 0.040, 0.2, 0.040, 0.005);
  AddNoise(b, rng, 0.0, BandPass(3500, 1.0), 0.6, 0.040, 0.004);
  return b;
}

// Water scooped up: a splash and a run of rising bubbles.
Buffer WaterPickup() {
  Buffer b = Make(0.65);
  Rng rng(909);
  Biquad splash = LowPass(1800);
  Biquad body = BandPass(600, 0.8);
  const int n = Samples(0.5);
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / c_rate;
    const double wobble = 0.6 + 0.4 * std::sin(2 * c_pi * 9 * t) * std::sin(2 * c_pi * 23 * t);
    const double x = rng.Noise();
    AddAt(b, i, Strike(t, 0.02, 0.12) * wobble * (0.5 * splash.Run(x) + 0.8 * body.Run(x)));
  }
  for (int k = 0; k < 10; ++k) {
    const double t0 = rng.Range(0.02, 0.45), f0 = rng.Range(450, 1300), amp = rng.Range(0.25, 0.6);
    const int start = Samples(t0), m = DecayEnd(0.0015, 0.025);
    double phase = 0;
    for (int i = 0; i < m; ++i) {
      const double t = static_cast<double>(i) / c_rate;
      AddAt(b, start + i, amp * Strike(t, 0.0015, 0.025) * std::sin(phase));
      phase += 2 * c_pi * f0 * (1.0 + 10.0 * t) / c_rate;  // a bubble's pitch rises as it closes
    }
  }
  return b;
}

// A long falling scream, "aaah": a voice of harmonics shaped by the formants of an open vowel,
// shooting up, wavering, then sinking away.
Buffer Scream() {
  const double length = 1.8;
  Buffer b = Make(length);
  Rng rng(1010);
  const double formant[4] = {850, 1250, 2900, 3700};
  const double width[4] = {140, 170, 250, 320};
  const double weight[4] = {1.0, 0.9, 0.6, 0.4};
  double phase[24] = {};
  double jitter = 0;
  Biquad breathFilter = BandPass(2600, 1.0);
  const int n = static_cast<int>(b.size());
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / c_rate;
    jitter = 0.995 * jitter + 0.005 * rng.Noise();
    const double rise = 1.0 - std::exp(-t / 0.05);
    double f0 = 480 + 420 * rise - 250 * std::pow(t / length, 1.6);
    f0 *= 1.0 + 0.015 * std::sin(2 * c_pi * 6.3 * t) + 0.6 * jitter;
    double v = 0, power = 0;
    for (int k = 1; k <= 24 && k * f0 < 6000; ++k) {
      const double fk = k * f0;
      double shape = 0;
      for (int j = 0; j < 4; ++j) {
        const double d = (fk - formant[j]) / (0.5 * width[j]);
        shape += weight[j] / (1.0 + d * d);
      }
      const double a = shape / std::sqrt(static_cast<double>(k));
      v += a * std::sin(phase[k - 1]);
      power += a * a;
      phase[k - 1] += 2 * c_pi * fk / c_rate;
    }
    // Held at one loudness while the harmonics slide through the formants; the envelope alone
    // shapes it, with a little roughness.
    v /= std::sqrt(power);
    const double env =
        std::min(1.0, t / 0.04) * std::min(1.0, (length - t) / 0.6) * (1.0 + 0.08 * std::sin(2 * c_pi * 31 * t));
    b[i] = env * (v + 0.06 * breathFilter.Run(rng.Noise()));
  }
  return b;
}

// A comic rasp and a plop.
Buffer Poop() {
  Buffer b = Make(0.7);
  Rng rng(1111);
  double phase[20] = {};
  double wander = 0;
  const int n = Samples(0.45);
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / c_rate;
    wander = 0.998 * wander + 0.002 * rng.Noise();
    const double f0 = 88.0 * (1.0 + 0.18 * std::sin(2 * c_pi * 7 * t) + 8.0 * wander) * (1.0 - 0.25 * t);
    double v = 0;
    for (int k = 1; k <= 20; ++k) {
      const double fk = k * f0;
      const double r = fk / 550.0;
      v += std::sin(phase[k - 1]) / k / (1.0 + r * r);
      phase[k - 1] += 2 * c_pi * fk / c_rate;
    }
    const double env =
        std::min(1.0, t / 0.015) * std::min(1.0, (0.45 - t) / 0.06) * (0.75 + 0.25 * std::sin(2 * c_pi * 25 * t));
    b[i] += env * v;
  }
  AddSweep(b, 0.5, 520, 170, 0.025, 0.8, 0.045, 0.002);
  return b;
}

// A crisp bite of an apple: a chomp and a burst of crunching.
Buffer Apple() {
  Buffer b = Make(0.4);
  Rng rng(1212);
  AddNoise(b, rng, 0.0, BandPass(2500, 0.8), 1.0, 0.025, 0.002);
  AddMode(b, 0.0, 180, 0.35, 0.030, 0.002);
  AddGrains(b, rng, 30, 0.01, 0.32, 1500, 5000, 1.6, 0.15);
  return b;
}

// A soft wooden tick.
Buffer Tick() {
  Buffer b = Make(0.08);
  Rng rng(1313);
  AddMode(b, 0.0, 2200, 0.8, 0.008, 0.0005);
  AddMode(b, 0.0, 3400, 0.4, 0.005, 0.0005);
  AddNoise(b, rng, 0.0, HighPass(4000), 0.5, 0.0015, 0.0002);
  return b;
}

// A chime: a bright bell note with its inharmonic overtones, ringing out.
Buffer Ting() {
  Buffer b = Make(1.6);
  const double f0 = 1318.5;
  AddMode(b, 0.0, f0, 1.0, 0.45);
  AddMode(b, 0.0, f0 * 2.0 + 1.5, 0.35, 0.30);
  AddMode(b, 0.0, f0 * 2.76, 0.3, 0.18);
  AddMode(b, 0.0, f0 * 5.40, 0.15, 0.07);
  AddMode(b, 0.0, f0 * 0.5, 0.12, 0.35, 0.003);
  Echo(b, 0.11, 0.3, 0.25);
  return b;
}

// Additive brass: harmonics whose brightness follows the loudness.
void AddBrass(Buffer& b, double t0, double freq, double amp, double hold, double release) {
  const int start = Samples(t0), n = Samples(hold + release);
  double phase = 0;
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / c_rate;
    const double swell = t < 0.06 ? t / 0.06 : 1.0;
    const double env =
        swell * (t < hold ? 1.0 - 0.15 * t / std::max(hold, 1e-3) : 0.85 * std::exp(-(t - hold) / (release / 4)));
    const double bright = 600 + 2400 * env;
    double v = 0;
    for (int k = 1; k <= 18 && k * freq < 6000; ++k) {
      const double r = k * freq / bright;
      v += std::sin(k * phase) / k / (1.0 + r * r * r);
    }
    phase += 2 * c_pi * freq * (1.0 + 0.004 * std::sin(2 * c_pi * 5 * t)) / c_rate;
    AddAt(b, start + i, amp * env * v);
  }
}

// A dramatic sting: two short stabs and a long swelling minor chord over timpani.
Buffer Drama() {
  Buffer b = Make(3.0);
  Rng rng(1414);
  const double g2 = 98.0, g3 = 196.0, c2 = 65.41, c3 = 130.81, eb3 = 155.56, g3b = 196.0;
  for (int hit = 0; hit < 2; ++hit) {
    const double t = 0.3 * hit;
    AddBrass(b, t, g2, 0.5, 0.16, 0.1);
    AddBrass(b, t, g3, 0.4, 0.16, 0.1);
    AddSweep(b, t, 110, g2, 0.05, 0.7, 0.25, 0.002);
    AddNoise(b, rng, t, LowPass(600), 0.6, 0.03, 0.001);
  }
  AddBrass(b, 0.6, c2, 0.5, 1.4, 0.8);
  AddBrass(b, 0.6, c3, 0.45, 1.4, 0.8);
  AddBrass(b, 0.6, eb3, 0.35, 1.4, 0.8);
  AddBrass(b, 0.6, g3b, 0.35, 1.4, 0.8);
  AddSweep(b, 0.6, 80, c2, 0.05, 1.0, 0.6, 0.002);
  AddNoise(b, rng, 0.6, LowPass(500), 0.8, 0.05, 0.001);
  Echo(b, 0.17, 0.35, 0.3);
  return b;
}

// A wooden crate smashed open: a crack, splintering, and the pieces falling.
Buffer CrateBreak() {
  Buffer b = Make(0.8);
  Rng rng(1515);
  AddNoise(b, rng, 0.0, HighPass(800), 1.0, 0.010);
  AddNoise(b, rng, 0.0, BandPass(450, 2.0), 2.0, 0.040, 0.001);
  AddMode(b, 0.0, 220, 0.6, 0.050, 0.0015);
  AddMode(b, 0.0, 390, 0.45, 0.045);
  AddMode(b, 0.0, 610, 0.3, 0.035);
  AddGrains(b, rng, 36, 0.02, 0.55, 1000, 4500, 0.9, 0.2);
  const double knocks[3] = {0.16, 0.29, 0.41};
  for (int k = 0; k < 3; ++k) {
    const double s = 0.5 - 0.1 * k;
    AddNoise(b, rng, knocks[k], BandPass(700 + 150 * k, 3.0), 1.4 * s, 0.015, 0.0008);
    AddMode(b, knocks[k], 300 + 60 * k, 0.6 * s, 0.020, 0.0015);
  }
  return b;
}

// ---------------------------------------------------------------------------------------------------
// The town theme

constexpr int c_beatSamples = 12600;  // 105 beats a minute at 22050 Hz, a whole number of samples
constexpr int c_bars = 16;
constexpr int c_loopSamples = c_bars * 4 * c_beatSamples;

// A note: MIDI number (0 = rest) and length in beats.
struct Note {
  int key;
  double beats;
};

double KeyHz(int key) { return 440.0 * std::pow(2.0, (key - 69) / 12.0); }

// Adds a note into the loop, wrapping past the end to the start.
template <typename Voice>
void AddLooped(Buffer& loop, double startBeat, double beats, double freq, double amp, Voice voice) {
  const int start = static_cast<int>(std::lround(startBeat * c_beatSamples));
  const double held = beats * c_beatSamples / c_rate;
  const int n = Samples(held + 1.5);
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / c_rate;
    const double v = voice(t, held, freq);
    if (v == 0.0 && t > held) break;
    loop[(start + i) % c_loopSamples] += amp * v;
  }
}

// The release shared by the voices: a 60 ms cosine fade after the note is let go.
double Release(double t, double held, double time = 0.06) {
  if (t < held) return 1.0;
  const double r = (t - held) / time;
  return r >= 1.0 ? 0.0 : 0.5 + 0.5 * std::cos(c_pi * r);
}

// The melody's voice: a soft recorder, a little breathy in its overtones, with a late vibrato.
double Recorder(double t, double held, double f) {
  const double attack = std::min(1.0, t / 0.025);
  const double body = attack * (0.8 + 0.2 * std::exp(-t / 0.15)) * Release(t, held);
  if (body <= 0.0) return 0.0;
  // Vibrato of 0.4% at 5.2 Hz fading in after 180 ms, as a phase offset (the integral of the
  // frequency swing), so the pitch wavers around the note rather than drifting off it.
  const double depth = t > 0.18 ? std::min(1.0, (t - 0.18) / 0.2) : 0.0;
  const double p = 2 * c_pi * f * t - depth * (f * 0.004 / 5.2) * std::cos(2 * c_pi * 5.2 * t);
  return body * (std::sin(p) + 0.22 * std::sin(2 * p) + 0.08 * std::sin(3 * p));
}

// The bass: a plucked string, fundamental with two overtones, fading as it rings.
double PluckBass(double t, double held, double f) {
  const double attack = std::min(1.0, t / 0.008);
  const double body = attack * std::exp(-t / 0.7) * Release(t, held, 0.05);
  if (body <= 0.0) return 0.0;
  const double p = 2 * c_pi * f * t;
  return body *
         (std::sin(p) + 0.45 * std::exp(-t / 0.3) * std::sin(2 * p) + 0.2 * std::exp(-t / 0.15) * std::sin(3 * p));
}

// The accompaniment: a harp-like pluck, bright at first.
double Harp(double t, double held, double f) {
  const double attack = std::min(1.0, t / 0.004);
  const double body = attack * std::exp(-t / 0.35) * Release(t, held + 0.25, 0.08);
  if (body <= 0.0) return 0.0;
  const double p = 2 * c_pi * f * t;
  return body *
         (std::sin(p) + 0.3 * std::exp(-t / 0.08) * std::sin(2 * p) + 0.1 * std::exp(-t / 0.05) * std::sin(3 * p));
}

Buffer TownTheme() {
  // Melody in C major, two eight-bar halves. Keys: C5 = 72.
  const Note melody[] = {
      // C            Am                       F                       G
      {72, 1},
      {76, 1},
      {79, 1},
      {76, 1},
      {81, 1.5},
      {79, 0.5},
      {76, 1},
      {72, 1},
      {77, 1},
      {81, 1},
      {84, 1},
      {81, 1},
      {79, 2},
      {74, 1},
      {71, 1},
      // C            Am                F  G                  C
      {72, 1},
      {76, 1},
      {79, 1},
      {84, 1},
      {83, 1},
      {81, 1},
      {76, 2},
      {77, 1},
      {81, 1},
      {79, 1},
      {71, 1},
      {72, 3},
      {0, 1},
      // F                       C                       Dm                  G
      {81, 1.5},
      {79, 0.5},
      {77, 1},
      {81, 1},
      {79, 1.5},
      {77, 0.5},
      {76, 1},
      {79, 1},
      {77, 1},
      {76, 1},
      {74, 1},
      {77, 1},
      {76, 1},
      {74, 1},
      {71, 2},
      // Em                Am                Dm  G                     C, leading back to the start
      {76, 1},
      {79, 1},
      {83, 1},
      {79, 1},
      {81, 1},
      {84, 1},
      {88, 1},
      {84, 1},
      {86, 1.5},
      {84, 0.5},
      {83, 1},
      {74, 1},
      {72, 2},
      {67, 1},
      {71, 1},
  };
  // Chords, two beats each: root, third, fifth (keys around C4 = 60).
  struct Chord {
    int root, third, fifth;
  };
  const Chord C{48, 52, 55}, Am{45, 48, 52}, F{41, 45, 48}, G{43, 47, 50}, Dm{38, 41, 45}, Em{40, 43, 47};
  const Chord chords[c_bars * 2] = {C, C, Am, Am, F,  F,  G, G, C,  C,  Am, Am, F,  G, C, C,
                                    F, F, C,  C,  Dm, Dm, G, G, Em, Em, Am, Am, Dm, G, C, C};

  Buffer loop(c_loopSamples, 0.0);
  double beat = 0;
  for (const Note& note : melody) {
    if (note.key) AddLooped(loop, beat, note.beats * 0.92, KeyHz(note.key), 0.34, Recorder);
    beat += note.beats;
  }
  if (beat != c_bars * 4) fprintf(stderr, "make_sounds: the melody lasts %g beats, not %d\n", beat, c_bars * 4);
  for (int h = 0; h < c_bars * 2; ++h) {
    const Chord& c = chords[h];
    const double at = h * 2.0;
    // Bass: the root on the half bar's first beat, the fifth on its second.
    AddLooped(loop, at, 1.0, KeyHz(c.root - 12), 0.42, PluckBass);
    AddLooped(loop, at + 1.0, 0.9, KeyHz(c.fifth - 12), 0.3, PluckBass);
    // Harp: the chord broken in eighths, up and back.
    const int up[4] = {c.root + 12, c.third + 12, c.fifth + 12, c.third + 12};
    for (int e = 0; e < 4; ++e) AddLooped(loop, at + 0.5 * e, 0.45, KeyHz(up[e]), e == 0 ? 0.16 : 0.12, Harp);
  }
  // A quiet shaker on the off-beats keeps the walk going.
  Rng rng(1616);
  Biquad shaker = HighPass(5000);
  for (int q = 0; q < c_bars * 4; ++q) {
    const int start = static_cast<int>((q + 0.5) * c_beatSamples);
    const int n = Samples(0.05);
    for (int i = 0; i < n; ++i) {
      const double t = static_cast<double>(i) / c_rate;
      loop[(start + i) % c_loopSamples] += 0.05 * Strike(t, 0.003, 0.012) * shaker.Run(rng.Noise());
    }
  }
  // Room: a soft echo and a gentle low-pass, run twice round the loop so that their state at the
  // end of the second pass carries into its start: the loop is seamless.
  Buffer out(c_loopSamples, 0.0);
  const int delay = c_beatSamples * 3 / 4;
  Buffer wet(c_loopSamples, 0.0);
  double lp = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < c_loopSamples; ++i) {
      const int j = (i - delay + c_loopSamples) % c_loopSamples;
      wet[i] = loop[j] * 0.25 + wet[j] * 0.3;
      lp += 0.55 * (loop[i] + wet[i] - lp);
      out[i] = lp;
    }
  }
  double mean = 0;
  for (double v : out) mean += v;
  mean /= c_loopSamples;
  double top = 0;
  for (double& v : out) top = std::max(top, std::fabs(v -= mean));
  for (double& v : out) v *= 0.6 / top;
  return out;
}

// ---------------------------------------------------------------------------------------------------
// Files

struct Sound {
  const char* name;
  Buffer (*make)();
  double peak;
};

// In the game's table order.
const Sound c_sounds[] = {
    {"townthemeraw", TownTheme, 0.0},
    {"waterpickup", WaterPickup, 0.7},
    {"scream", Scream, 0.75},
    {"drop", Drop, 0.7},
    {"cutstone", CutStone, 0.7},
    {"cuttree", CutTree, 0.75},
    {"pickup", Pickup, 0.6},
    {"thud", Thud, 0.75},
    {"clang", Clang, 0.7},
    {"brick", Brick, 0.7},
    {"hammer", Hammer, 0.7},
    {"poop", Poop, 0.5},
    {"apple", Apple, 0.65},
    {"tick", Tick, 0.5},
    {"drama", Drama, 0.75},
    {"ting", Ting, 0.6},
    {"cratebreak", CrateBreak, 0.75},
};

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xffff);
  Put16(out, v >> 16);
}
void PutTag(std::vector<uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}

std::vector<int16_t> Quantise(const Buffer& b) {
  std::vector<int16_t> s(b.size());
  for (size_t i = 0; i < b.size(); ++i) {
    const double v = std::clamp(b[i], -1.0, 1.0) * 32767.0;
    s[i] = static_cast<int16_t>(std::lround(v));
  }
  return s;
}

// A canonical mono 16-bit PCM RIFF WAVE image.
std::vector<uint8_t> WaveImage(const std::vector<int16_t>& samples) {
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> out;
  PutTag(out, "RIFF");
  Put32(out, 36 + dataBytes);
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  Put32(out, 16);
  Put16(out, 1);  // PCM
  Put16(out, 1);  // mono
  Put32(out, c_rate);
  Put32(out, c_rate * 2);
  Put16(out, 2);
  Put16(out, 16);
  PutTag(out, "data");
  Put32(out, dataBytes);
  for (int16_t v : samples) Put16(out, static_cast<uint16_t>(v));
  return out;
}

double Db(double ratio) { return ratio > 0 ? 20.0 * std::log10(ratio) : -999.0; }

// ---------------------------------------------------------------------------------------------------
// Preview

constexpr int c_previewWidth = 620, c_spectrumHeight = 150, c_waveHeight = 40, c_gap = 6;

// A heat colour for a level from 0 (quiet) to 1 (loudest).
void Heat(double v, uint8_t* rgb) {
  v = std::clamp(v, 0.0, 1.0);
  rgb[0] = static_cast<uint8_t>(255 * std::clamp(3 * v - 1, 0.0, 1.0));
  rgb[1] =
      static_cast<uint8_t>(255 * std::clamp(3 * v - 2, 0.0, 1.0) * 0.8 + 255 * std::clamp(3 * v - 1, 0.0, 1.0) * 0.2);
  rgb[2] = static_cast<uint8_t>(255 * std::clamp(v < 0.5 ? 3 * v : 2.5 - 3 * v, 0.0, 1.0));
}

// One row: the spectrogram (time across, frequency up, 70 dB under the sound's loudest) over the waveform.
void PreviewRow(const std::vector<int16_t>& x, int window, int hop, double topHz, uint8_t* rows) {
  const int bins = static_cast<int>(topHz * window / c_rate);
  const int frames = std::min(c_previewWidth, static_cast<int>(x.size()) / hop);
  std::vector<double> level(static_cast<size_t>(frames) * c_spectrumHeight, -1e9);
  std::vector<double> re(bins), im(bins);
  double loudest = -1e9;
  for (int f = 0; f < frames; ++f) {
    std::fill(re.begin(), re.end(), 0.0);
    std::fill(im.begin(), im.end(), 0.0);
    for (int n = 0; n < window; ++n) {
      const size_t at = static_cast<size_t>(f) * hop + n;
      if (at >= x.size()) break;
      const double v = x[at] * (0.5 - 0.5 * std::cos(2 * c_pi * n / window));
      for (int k = 0; k < bins; ++k) {
        const double a = 2 * c_pi * k * n / window;
        re[k] += v * std::cos(a);
        im[k] -= v * std::sin(a);
      }
    }
    for (int y = 0; y < c_spectrumHeight; ++y) {
      const int k = std::min(bins - 1, y * bins / c_spectrumHeight);
      const double db = 10 * std::log10(re[k] * re[k] + im[k] * im[k] + 1e-9);
      level[static_cast<size_t>(f) * c_spectrumHeight + y] = db;
      loudest = std::max(loudest, db);
    }
  }
  for (int f = 0; f < frames; ++f)
    for (int y = 0; y < c_spectrumHeight; ++y) {
      const double v = (level[static_cast<size_t>(f) * c_spectrumHeight + y] - loudest + 70) / 70;
      Heat(v, rows + (static_cast<size_t>(c_spectrumHeight - 1 - y) * c_previewWidth + f) * 3);
    }
  uint8_t* wave = rows + static_cast<size_t>(c_spectrumHeight) * c_previewWidth * 3;
  for (int f = 0; f < frames; ++f) {
    int lo = 0, hi = 0;
    for (int n = 0; n < hop; ++n) {
      const int v = x[static_cast<size_t>(f) * hop + n];
      lo = std::min(lo, v), hi = std::max(hi, v);
    }
    const int mid = c_waveHeight / 2;
    for (int y = mid - hi * mid / 32768; y <= mid - lo * mid / 32768; ++y) {
      uint8_t* p = wave + (static_cast<size_t>(std::clamp(y, 0, c_waveHeight - 1)) * c_previewWidth + f) * 3;
      p[0] = 120, p[1] = 220, p[2] = 140;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: make_sounds <sounds folder> [--stats]\n");
    return 2;
  }
  const std::string folder = argv[1];
  bool stats = false;
  const char* preview = nullptr;
  for (int a = 2; a < argc; ++a) {
    if (!strcmp(argv[a], "--stats")) stats = true;
    if (!strcmp(argv[a], "--preview") && a + 1 < argc) preview = argv[++a];
  }
  const int rowHeight = c_spectrumHeight + c_waveHeight + c_gap;
  const int soundCount = static_cast<int>(std::size(c_sounds));
  std::vector<uint8_t> picture(preview ? static_cast<size_t>(c_previewWidth) * rowHeight * soundCount * 3 : 0, 40);
  if (stats) printf("%-14s %9s %9s %9s\n", "sound", "seconds", "peak dB", "rms dB");
  for (const Sound& sound : c_sounds) {
    Buffer b = sound.make();
    if (sound.peak > 0) Finish(b, sound.peak);
    const std::vector<int16_t> samples = Quantise(b);
    const std::vector<uint8_t> image = WaveImage(samples);
    const std::string path = folder + "/" + sound.name + ".wav";
    FILE* f = fopen(path.c_str(), "wb");
    if (!f || fwrite(image.data(), 1, image.size(), f) != image.size()) {
      fprintf(stderr, "make_sounds: cannot write %s\n", path.c_str());
      if (f) fclose(f);
      return 1;
    }
    fclose(f);
    if (preview) {
      const int row = static_cast<int>(&sound - c_sounds);
      uint8_t* at = picture.data() + static_cast<size_t>(row) * rowHeight * c_previewWidth * 3;
      if (row == 0)
        PreviewRow(samples, 2048, 1000, 2000, at);
      else
        PreviewRow(samples, 256, 64, 11025, at);
    }
    if (stats) {
      double peak = 0, sum = 0;
      for (int16_t v : samples) {
        peak = std::max(peak, std::fabs(static_cast<double>(v)));
        sum += static_cast<double>(v) * v;
      }
      const double rms = std::sqrt(sum / std::max<size_t>(1, samples.size()));
      printf("%-14s %9.3f %9.1f %9.1f\n", sound.name, static_cast<double>(samples.size()) / c_rate, Db(peak / 32767.0),
             Db(rms / 32767.0));
    }
  }
  if (preview && !PngWrite(preview, picture.data(), c_previewWidth, rowHeight * soundCount, 3, false)) return 1;
  return 0;
}

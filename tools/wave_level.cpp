// Prints the loudness of a recorded WAVE file second by second, to check what the game played.
//
// Usage: wave_level <file.wav>
//
// Reads 16-bit PCM or 32-bit float samples (plain or extensible format chunks, any channel count)
// and prints "seconds <length>" and then one line per second: "<second> <rms dB> <peak dB>", in
// decibels below full scale (-200 for silence). Exits 1 when the file is not such a WAVE.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint32_t U16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }
double Db(double v) { return v > 1e-10 ? 20.0 * std::log10(v) : -200.0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: wave_level <file.wav>\n");
    return 2;
  }
  FILE* f = fopen(argv[1], "rb");
  if (!f) {
    fprintf(stderr, "wave_level: cannot open %s\n", argv[1]);
    return 1;
  }
  std::vector<uint8_t> b;
  uint8_t chunk[65536];
  for (size_t n; (n = fread(chunk, 1, sizeof(chunk), f)) > 0;) b.insert(b.end(), chunk, chunk + n);
  fclose(f);
  if (b.size() < 12 || memcmp(b.data(), "RIFF", 4) || memcmp(b.data() + 8, "WAVE", 4)) {
    fprintf(stderr, "wave_level: %s is not a WAVE file\n", argv[1]);
    return 1;
  }
  uint32_t format = 0, channels = 0, rate = 0, bits = 0;
  size_t data = 0, dataSize = 0;
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = U32(b, at + 4);
    const size_t body = at + 8;
    if (!memcmp(&b[at], "fmt ", 4) && size >= 16 && body + 16 <= b.size()) {
      format = U16(b, body), channels = U16(b, body + 2), rate = U32(b, body + 4), bits = U16(b, body + 14);
      if (format == 0xfffe && size >= 26 && body + 26 <= b.size()) format = U16(b, body + 24);
    } else if (!memcmp(&b[at], "data", 4)) {
      data = body;
      // A recording cut off before its header was finished still counts up to the file's end.
      dataSize = std::min<size_t>(size ? size : b.size() - body, b.size() - body);
    }
    if (static_cast<uint64_t>(body) + size > b.size()) break;
    at = body + size;
  }
  const bool pcm16 = format == 1 && bits == 16, float32 = format == 3 && bits == 32;
  if (!data || !channels || !rate || (!pcm16 && !float32)) {
    fprintf(stderr, "wave_level: %s holds neither 16-bit PCM nor 32-bit float samples\n", argv[1]);
    return 1;
  }
  const size_t width = bits / 8, frames = dataSize / (width * channels);
  printf("seconds %.3f\n", static_cast<double>(frames) / rate);
  for (size_t second = 0; second * rate < frames; ++second) {
    double sum = 0, peak = 0;
    size_t count = 0;
    for (size_t i = second * rate; i < std::min(frames, (second + 1) * rate); ++i)
      for (uint32_t c = 0; c < channels; ++c) {
        const size_t at = data + (i * channels + c) * width;
        double v;
        if (pcm16) {
          v = static_cast<int16_t>(U16(b, at)) / 32768.0;
        } else {
          float s;
          memcpy(&s, &b[at], 4);
          v = s;
        }
        sum += v * v;
        peak = std::max(peak, std::fabs(v));
        ++count;
      }
    printf("%zu %.1f %.1f\n", second, Db(std::sqrt(sum / std::max<size_t>(1, count))), Db(peak));
  }
  return 0;
}

// Fuzzes the settings store and the options reader: any "settings.dat" bytes, edits on them, and
// the options read, written and read again.
#include <cmath>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "graphics/ui/options.h"
#include "utility/keyval.h"

namespace {

// Volumes are stored with "%g", six significant digits: a round trip may move them that little.
bool Near(float a, float b) { return std::fabs(a - b) <= 1e-5f; }

bool SameOptions(const Options& a, const Options& b) {
  return a.m_vsync == b.m_vsync && a.m_srgb == b.m_srgb && Near(a.m_masterVolume, b.m_masterVolume) &&
         Near(a.m_musicVolume, b.m_musicVolume) && a.m_musicFF == b.m_musicFF && a.m_mouseTilt == b.m_mouseTilt &&
         a.m_sunCycle == b.m_sunCycle && a.m_debugFlags == b.m_debugFlags;
}

void CheckText(const KeyVal& store) {
  const char* text = store.GetText();
  const int len = store.TextLength();
  if (len < 0 || len >= KeyVal::c_bufferLimit || text[len] != 0 || static_cast<int>(strlen(text)) != len) abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpFolders(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first line of the input is the file; the lines after it are edits.
  fuzz::Input in{data, size};
  const uint8_t split = in.Byte();
  const size_t fileBytes = size ? std::min<size_t>(in.size, split * 8u) : 0;
  KeyVal store;
  store.SetText(reinterpret_cast<const char*>(in.data), static_cast<int>(fileBytes));
  in.data += fileBytes, in.size -= fileBytes;
  CheckText(store);

  // Options read from a damaged file are always within their limits, and survive a round trip.
  Options options;
  OptionsRead(store, &options);
  if (options.m_vsync > 1 || options.m_srgb > 1 || options.m_musicFF > 1 || options.m_mouseTilt > 1 ||
      options.m_sunCycle > 1 || !(options.m_masterVolume >= 0.0f && options.m_masterVolume <= 1.0f) ||
      !(options.m_musicVolume >= 0.0f && options.m_musicVolume <= 1.0f) || (options.m_debugFlags & ~DF_ALL))
    abort();

  // Edits: get, set, remove with keys and values taken from the input.
  char out[64];
  while (in.size) {
    const uint8_t op = in.Byte();
    const std::string key = in.Line();
    const std::string value = in.Line();
    const int outSize = 1 + op % static_cast<int>(sizeof(out));
    // Keys and values never hold a backslash: the game's callers pass fixed names and numbers.
    const bool backslash = key.find('\\') != std::string::npos || value.find('\\') != std::string::npos;
    if (backslash && op % 6 >= 2 && op % 6 <= 4) continue;
    // A pair that does not fit trips the store's assertion by design; nothing else may.
    fuzz::assertsAllowed += op % 6 >= 2 && op % 6 <= 4;
    switch (op % 6) {
      case 0:
        store.GetString(key.c_str(), out, outSize, value.c_str());
        if (!memchr(out, 0, outSize)) abort();
        break;
      case 1:
        store.GetInt(key.c_str(), 7);
        store.GetFloat(key.c_str(), 0.5f);
        break;
      case 2: {
        store.SetString(key.c_str(), value.c_str());
        break;
      }
      case 3:
        store.SetInt(key.c_str(), static_cast<int>(in.U32()));
        break;
      case 4:
        store.SetFloat(key.c_str(), static_cast<float>(static_cast<int32_t>(in.U32())) / 1000.0f);
        break;
      default:
        store.Remove(key.c_str());
        break;
    }
    fuzz::assertsAllowed = 0;
    CheckText(store);
  }

  KeyVal written;
  OptionsWrite(options, &written);
  Options again;
  OptionsRead(written, &again);
  if (!SameOptions(options, again)) abort();
  return 0;
}

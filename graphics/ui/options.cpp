// Options: the player's eight settings, their defaults and limits, and "settings.dat" read and written through KeyVal.
#include "graphics/ui/options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "system/file.h"
#include "utility/keyval.h"
#include "utility/log.h"

namespace {

const char* const c_settingsFile = "settings.dat";

// Walks the pairs of the store's text the way the store itself does (alternating
// backslashes), so that what counts as a key here is what the store would find.
// Returns how many pairs carry the key; the first one's value is copied into out.
int FindValue(const char* text, const char* key, char* out, int outSize) {
  if (out && outSize > 0) out[0] = 0;
  if (!text || !key || !key[0]) return 0;
  size_t keyLen = strlen(key);
  int count = 0;
  const char* p = strchr(text, '\\');
  while (p) {
    const char* k = p + 1;
    const char* sep = strchr(k, '\\');
    if (!sep) break;
    const char* value = sep + 1;
    const char* next = strchr(value, '\\');
    size_t valueLen = next ? static_cast<size_t>(next - value) : strlen(value);
    if (static_cast<size_t>(sep - k) == keyLen && memcmp(k, key, keyLen) == 0) {
      if (count == 0 && out && outSize > 0) {
        size_t n = valueLen < static_cast<size_t>(outSize - 1) ? valueLen : static_cast<size_t>(outSize - 1);
        memcpy(out, value, n);
        out[n] = 0;
      }
      count++;
    }
    p = next;
  }
  return count;
}

// The value text of a key that is there exactly once and not empty. Logs why a key that is
// present cannot be trusted; a missing key is silent (a first start has no file at all).
bool UsableValue(const KeyVal& store, const char* key, char* out, int outSize) {
  int count = FindValue(store.GetText(), key, out, outSize);
  if (count == 0) return false;
  if (count > 1) {
    LOGW("Setting '%s' is given %d times; using its default.", key, count);
    return false;
  }
  if (!out[0]) {
    LOGW("Setting '%s' is empty; using its default.", key);
    return false;
  }
  // strtol and strtof skip leading blanks; the game never writes any.
  if (isspace(static_cast<unsigned char>(out[0]))) {
    LOGW("Setting '%s' has the value '%s', which starts with a blank; using its default.", key, out);
    return false;
  }
  return true;
}

// A whole decimal integer within lo .. hi, else the default (with a log line when present).
int ReadInt(const KeyVal& store, const char* key, int lo, int hi, int defaultValue) {
  char text[64];
  if (!UsableValue(store, key, text, sizeof(text))) return defaultValue;
  errno = 0;
  char* end = nullptr;
  long v = strtol(text, &end, 10);
  if (end == text || *end != 0 || errno == ERANGE || v < lo || v > hi) {
    LOGW("Setting '%s' has the value '%s', not a whole number from %d to %d; using its default.", key, text, lo, hi);
    return defaultValue;
  }
  return static_cast<int>(v);
}

// A finite number within lo .. hi, else the default (with a log line when present).
float ReadFloat(const KeyVal& store, const char* key, float lo, float hi, float defaultValue) {
  char text[64];
  if (!UsableValue(store, key, text, sizeof(text))) return defaultValue;
  errno = 0;
  char* end = nullptr;
  float v = strtof(text, &end);
  if (end == text || *end != 0 || errno == ERANGE || !std::isfinite(v) || v < lo || v > hi) {
    LOGW("Setting '%s' has the value '%s', not a number from %g to %g; using its default.", key, text,
         static_cast<double>(lo), static_cast<double>(hi));
    return defaultValue;
  }
  return v;
}

}  // namespace

int OptionsKeyCount(const KeyVal& store, const char* key) { return FindValue(store.GetText(), key, nullptr, 0); }

void OptionsRead(const KeyVal& store, Options* out) {
  if (!out) return;
  const Options d;
  Options o;
  o.m_debugFlags = ReadInt(store, "Debug", 0, DF_ALL, d.m_debugFlags);
  o.m_vsync = static_cast<uint8_t>(ReadInt(store, "VidVsync", 0, 1, d.m_vsync));
  o.m_srgb = static_cast<uint8_t>(ReadInt(store, "VidSRGB", 0, 1, d.m_srgb));
  o.m_masterVolume = ReadFloat(store, "AudVolume", 0.0f, 1.0f, d.m_masterVolume);
  o.m_musicVolume = ReadFloat(store, "AudMusic", 0.0f, 1.0f, d.m_musicVolume);
  o.m_musicFF = static_cast<uint8_t>(ReadInt(store, "MusicFF", 0, 1, d.m_musicFF));
  o.m_mouseTilt = static_cast<uint8_t>(ReadInt(store, "MouseTilt", 0, 1, d.m_mouseTilt));
  o.m_sunCycle = static_cast<uint8_t>(ReadInt(store, "SunCycle", 0, 1, d.m_sunCycle));
  // The quit flag belongs to this run only.
  o.m_quitRequested = out->m_quitRequested;
  *out = o;
}

void OptionsWrite(const Options& options, KeyVal* store) {
  if (!store) return;
  store->SetText(nullptr, 0);
  store->SetInt("Debug", options.m_debugFlags & DF_ALL);
  store->SetInt("VidVsync", options.m_vsync ? 1 : 0);
  store->SetInt("VidSRGB", options.m_srgb ? 1 : 0);
  // Volumes outside 0 .. 1 would be refused on the next start; store what the game used.
  float master = std::isfinite(options.m_masterVolume) ? fminf(fmaxf(options.m_masterVolume, 0.0f), 1.0f) : 1.0f;
  float music = std::isfinite(options.m_musicVolume) ? fminf(fmaxf(options.m_musicVolume, 0.0f), 1.0f) : 0.7f;
  store->SetFloat("AudVolume", master);
  store->SetFloat("AudMusic", music);
  store->SetInt("MusicFF", options.m_musicFF ? 1 : 0);
  store->SetInt("MouseTilt", options.m_mouseTilt ? 1 : 0);
  store->SetInt("SunCycle", options.m_sunCycle ? 1 : 0);
}

void OptionsLoad(KeyVal* store, Options* out) {
  if (!store || !out) return;
  char bytes[KeyVal::c_bufferLimit];
  FileHandle file = FileOpenRead(c_settingsFile, true);
  size_t n = FileRead(file, bytes, sizeof(bytes));
  FileClose(file);
  store->SetText(bytes, static_cast<int>(n));
  OptionsRead(*store, out);
}

bool OptionsSave(KeyVal* store, const Options& options) {
  if (!store) return false;
  OptionsWrite(options, store);
  // Written as the save is: a kill between emptying the file and filling it would lose the options.
  return FileWriteAtomic(c_settingsFile, true, store->GetText(), static_cast<size_t>(store->TextLength()) + 1);
}

// Options: the player's eight settings, their defaults and limits, and "settings.dat" read and written through KeyVal.
#pragma once

#include <cstdint>

class KeyVal;

// The option values in the order the overlay keeps them. A default-constructed record holds
// the defaults, which the overlay keeps until the settings are loaded.
struct Options {
  uint8_t m_vsync = 1;          // "VidVsync": swap interval 1 when on
  uint8_t m_srgb = 1;           // "VidSRGB": read at start-up only
  float m_masterVolume = 1.0f;  // "AudVolume", 0 .. 1
  float m_musicVolume = 0.7f;   // "AudMusic", 0 .. 1
  uint8_t m_musicFF = 1;        // "MusicFF": the music speeds up with the game
  uint8_t m_mouseTilt = 0;      // "MouseTilt"
  uint8_t m_sunCycle = 0;       // "SunCycle"
  uint8_t m_quitRequested = 0;  // set by "Quit Game"; never stored
  int32_t m_debugFlags = 0;     // "Debug": bit 0 FPS, bit 1 tile info, bit 2 messages
};

// The debug-window bits; "Debug" holds no others.
enum DebugFlagBits {
  DF_FPS = 1,
  DF_TILE_INFO = 2,
  DF_MESSAGES = 4,
  DF_ALL = 7,
};

// Reads every option from the store. A key that is missing gives its default silently; a key
// that is there but damaged (given twice, empty, not wholly a number, not finite, or out of
// its range) gives its default with one log line naming the key. Never a stale or clamped value.
void OptionsRead(const KeyVal& store, Options* out);
// Replaces the store's text with every option in the file's order ("Debug", "VidVsync",
// "VidSRGB", "AudVolume", "AudMusic", "MusicFF", "MouseTilt", "SunCycle"), each key exactly once.
// The game keeps no other settings, so whatever else a damaged file held is dropped.
void OptionsWrite(const Options& options, KeyVal* store);

// "settings.dat" in the user folder: read at most the store's buffer into it (a missing or
// unreadable file leaves it empty), then OptionsRead.
void OptionsLoad(KeyVal* store, Options* out);
// OptionsWrite, then the store's text and its NUL to "settings.dat" (created or truncated).
// False when the file cannot be written; nothing else is reported, as the game is closing.
bool OptionsSave(KeyVal* store, const Options& options);

// How many times the key stands as a pair in the store's text (0 when absent). A repeated key
// makes the store's answer depend on which copy it finds first, so such a key is not trusted.
int OptionsKeyCount(const KeyVal& store, const char* key);

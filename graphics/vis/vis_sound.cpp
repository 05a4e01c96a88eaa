// VisSound: the game's sound effects and music (the sound table, loading, effects at tiles, the looping music).
#include "graphics/vis/vis_sound.h"

#include <cstdio>
#include <cstring>
#include <vector>

// The Vis keeps one crown frame per character: the character limit comes first.
#include "world/actors/actors.h"

#include "graphics/models/load_report.h"
#include "graphics/vis/vis.h"

#include "system/audio.h"
#include "system/file.h"
#include "utility/log.h"
#include "utility/wavinfo.h"

static_assert(c_soundCount == VISNUMSOUNDS, "the Vis holds one buffer per sound");

const char* const c_soundNames[c_soundCount] = {
    "townthemeraw", "waterpickup", "scream", "drop",  "cutstone", "cuttree", "pickup", "thud",       "clang",
    "brick",        "hammer",      "poop",   "apple", "tick",     "drama",   "ting",   "cratebreak",
};

namespace {
// No sound of the game comes near this; a bigger file is refused rather than read whole.
constexpr uint64_t c_soundFileLimit = 64u << 20;
}  // namespace

int SoundIndex(const char* name) {
  if (!name) return -1;
  for (int i = 0; i < c_soundCount; ++i)
    if (!strcmp(c_soundNames[i], name)) return i;
  return -1;
}

uint32_t SoundFileLoad(const char* path) {
  FileHandle file = FileOpenRead(path, false);
  if (!file) {
    LOGE("Cannot open sound file '%s'", path);
    return 0;
  }
  const uint64_t size = FileSize(file);
  if (size == 0 || size > c_soundFileLimit) {
    LOGE("Sound file '%s' has %llu bytes", path, static_cast<unsigned long long>(size));
    FileClose(file);
    return 0;
  }
  std::vector<uint8_t> image(size);
  const bool read = FileRead(file, image.data(), size) == size;
  FileClose(file);
  WavInfo info;
  if (!read || !info.Parse(image.data(), static_cast<int64_t>(size))) {
    LOGE("Sound file '%s' is not a PCM WAVE sound", path);
    return 0;
  }
  // The audio layer takes 8- or 16-bit mono or stereo, whole sample frames only.
  const uint32_t frameBytes = info.m_channels * info.m_bitsPerSample / 8;
  if ((info.m_channels != 1 && info.m_channels != 2) || (info.m_bitsPerSample != 8 && info.m_bitsPerSample != 16) ||
      info.m_sampleRate == 0 || info.m_sampleRate > 192000) {
    LOGE("Sound file '%s' is not 8- or 16-bit mono or stereo PCM (%u channels, %u bits, %u Hz)", path, info.m_channels,
         info.m_bitsPerSample, info.m_sampleRate);
    return 0;
  }
  const uint32_t dataSize = info.m_dataSize - info.m_dataSize % frameBytes;
  const uint32_t buffer = AudioBufferCreate();
  if (buffer == c_audioNoBuffer) {
    LOGE("No audio buffer for sound file '%s'", path);
    return 0;
  }
  AudioBufferData(buffer, static_cast<int>(info.m_channels), static_cast<int>(info.m_bitsPerSample),
                  static_cast<int>(info.m_sampleRate), static_cast<int>(dataSize), image.data() + info.m_dataOffset);
  LOGI("Loaded %d bytes for %s", static_cast<int>(dataSize), path);
  return buffer;
}

int SoundsLoad(uint32_t sounds[c_soundCount]) {
  for (int i = 0; i < c_soundCount; ++i) sounds[i] = 0;
  if (!AudioIsOpen()) {
    // A machine without sound runs the game silently: one line, not seventeen failures.
    LOGW("Audio is closed: the %d sounds are not loaded and the game runs silent", c_soundCount);
    return 0;
  }
  int loaded = 0;
  for (int i = 0; i < c_soundCount; ++i) {
    char path[64];
    snprintf(path, sizeof(path), "data/sounds/%s.wav", c_soundNames[i]);
    sounds[i] = SoundFileLoad(path);
    // A sound that did not load plays silence; the player is told once with the other files.
    if (!sounds[i]) LoadReportNote(path);
    loaded += sounds[i] != 0;
  }
  return loaded;
}

int SoundEffectStart(const uint32_t sounds[c_soundCount], const char* name, float gain, Vec3 position) {
  const int index = SoundIndex(name);
  if (index < 0) {
    LOGE("Failed to play unknown sound '%s'", name ? name : "(null)");
    return -1;
  }
  if (!AudioIsOpen()) return -1;
  int channel = 0;
  while (channel < c_audioMusicChannel && AudioIsPlaying(channel)) ++channel;
  if (channel == c_audioMusicChannel) return -1;  // every effect channel busy: dropped
  const bool relative = position.x == 0.0f && position.y == 0.0f && position.z == 0.0f;
  AudioPlay(channel, sounds[index], gain, c_soundRolloff, relative, false);
  if (!relative) AudioSetPosition(channel, position.x, position.y, position.z);
  return channel;
}

bool MusicStart(const uint32_t sounds[c_soundCount], const char* name, float musicVolume) {
  const int index = SoundIndex(name);
  if (index < 0) {
    LOGE("Failed to play unknown music '%s'", name ? name : "(null)");
    return false;
  }
  AudioPlay(c_audioMusicChannel, sounds[index], 1.0f, c_soundRolloff, true, true);
  AudioSetGain(c_audioMusicChannel, musicVolume);
  return true;
}

void MusicSpeedApply(float pitch, bool musicFF, float musicVolume) {
  // Back to normal speed the music always comes along: sped up with the option on and released
  // after it was turned off, it would otherwise stay fast for good.
  const bool withMusic = musicFF || pitch <= 1.0f;
  AudioSetPitch(pitch, withMusic ? c_audioChannelLimit : c_audioMusicChannel);
  AudioSetGain(c_audioMusicChannel, pitch > 1.0f ? musicVolume * c_musicFastVolumeScale : musicVolume);
}

bool MusicVolumeFollow(float option, bool fast, float* musicVolume) {
  if (option == *musicVolume) return false;
  *musicVolume = option;
  // A volume changed while Tab is held keeps the music at its fast-forward share.
  AudioSetGain(c_audioMusicChannel, fast ? option * c_musicFastVolumeScale : option);
  return true;
}

uint32_t LoadSound(Vis*, const char* path) { return SoundFileLoad(path); }

void LoadSounds(Vis* vis) { SoundsLoad(vis->m_soundFXArray); }

void PlaySoundEffect(Vis* vis, const char* name, float gain, Vec3 position) {
  SoundEffectStart(vis->m_soundFXArray, name, gain, position);
}

void MusicPlay(Vis* vis, const char* name) {
  LOGI("MusicPlay()");
  vis->m_musicName = name;
  // The intro can end while Tab is held: the music then starts at its fast-forward share.
  const float volume = vis->m_fastForward ? vis->m_musicVolume * c_musicFastVolumeScale : vis->m_musicVolume;
  MusicStart(vis->m_soundFXArray, name, volume);
}

void MusicStop(Vis*) { AudioStop(c_audioMusicChannel); }

void MusicVolumeUpdate(Vis* vis) {
  MusicVolumeFollow(vis->m_overlay.GetOptions().m_musicVolume, vis->m_fastForward != 0, &vis->m_musicVolume);
}

void MusicSpeedSet(Vis* vis, float pitch) {
  MusicSpeedApply(pitch, vis->m_overlay.GetOptions().m_musicFF != 0, vis->m_musicVolume);
}

void ListenerSet(Vis*, Vec3 position, Vec3 yAxis, Vec3 zAxis) {
  const float p[3] = {position.x, position.y, position.z};
  const float f[3] = {yAxis.x, yAxis.y, yAxis.z};
  const float u[3] = {zAxis.x, zAxis.y, zAxis.z};
  AudioSetListener(p, f, u);
}

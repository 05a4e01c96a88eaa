// VisSound: the game's sound effects and music (the sound table, loading, effects at tiles, the looping music).
#pragma once

#include <cstdint>

#include "utility/matrix44.h"

struct Vis;

// The sound table: index = position, each loaded from "data/sounds/<name>.wav". The music is 0.
enum { c_soundCount = 17, c_soundMusic = 0 };
extern const char* const c_soundNames[c_soundCount];
// Every effect and the music fall off with distance this steeply.
constexpr float c_soundRolloff = 5.0f;
// The music drops to this share of its volume while the game runs fast.
constexpr float c_musicFastVolumeScale = 0.58f;

// The table index of a name (exact match), or -1.
int SoundIndex(const char* name);
// One ".wav" file of the data folder into a new audio buffer: its id, or 0 (with a log line) when
// the file is missing or not 8/16-bit mono/stereo PCM, or no buffer can be had.
uint32_t SoundFileLoad(const char* path);
// The whole table, in order; a sound that yields no buffer is asserted and stays 0 (it plays
// silence). While audio is closed nothing is loaded and one line says so. The number loaded.
int SoundsLoad(uint32_t sounds[c_soundCount]);
// Plays a named effect on the first idle effect channel: relative to the listener (no fall-off)
// when the position is (0, 0, 0), else at the position. The channel, or -1 when the name is
// unknown (logged), audio is closed or every effect channel is busy (dropped silently).
int SoundEffectStart(const uint32_t sounds[c_soundCount], const char* name, float gain, Vec3 position);
// Starts the named sound looping on the music channel at the volume given; false (logged) for a
// name not in the table.
bool MusicStart(const uint32_t sounds[c_soundCount], const char* name, float musicVolume);
// Sets the effects' pitch, and the music's too when musicFF is set (the channel layer takes the
// music to its own fast pitch) or the pitch is back at normal; the music plays quieter while the
// pitch is above 1.
void MusicSpeedApply(float pitch, bool musicFF, float musicVolume);
// Follows the music volume option: when it differs from *musicVolume, takes it and sets the music
// channel's gain (the quieter one while the game runs fast). True when it changed.
bool MusicVolumeFollow(float option, bool fast, float* musicVolume);

// The Vis's sounds, over its m_soundFXArray, m_musicVolume and m_musicName and its options.
uint32_t LoadSound(Vis* vis, const char* path);
void LoadSounds(Vis* vis);
void PlaySoundEffect(Vis* vis, const char* name, float gain, Vec3 position);
// Called when the intro ends; the one music of the game, looping until the Vis goes.
void MusicPlay(Vis* vis, const char* name);
// Called by the Vis destructor.
void MusicStop(Vis* vis);
// Once per game frame: the music volume option reaches the music channel.
void MusicVolumeUpdate(Vis* vis);
// Tab pressed (2.0) or released (1.0).
void MusicSpeedSet(Vis* vis, float pitch);
// Once per game frame with the current camera: its translation, Y axis (facing) and Z axis (up).
void ListenerSet(Vis* vis, Vec3 position, Vec3 yAxis, Vec3 zAxis);

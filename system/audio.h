// Audio: the thin layer over OpenAL on which effects and music play (one device, 32 channels, buffers, the listener).
#pragma once

#include <cstdint>

// Channels are OpenAL sources, made once when audio opens and reused for the whole run. The music
// keeps the last one; the effects share the others.
enum {
  c_audioChannelLimit = 32,
  c_audioMusicChannel = 31,
};
// A buffer name that means "none": creation failed, or play the channel's current buffer again.
constexpr uint32_t c_audioNoBuffer = 0xffffffffu;
// Sounds never fade below full gain nearer than the reference distance, nor further beyond this.
constexpr float c_audioMaxDistance = 10.0f;
// Channels at or below full speed play at the pitch asked for; the music speeds up to this.
constexpr float c_audioMusicFastPitch = 3.0f;

// Opens the named device (null or empty: the default one), its context and the 32 channels, with
// the inverse-distance-clamped model. 1 on success; 0 when any step fails, with audio left closed
// and every later call a silent no-op, so a machine without sound runs the game silently.
int AudioInit(const char* deviceName, float referenceDistance);
// Closes audio: the channels, the context and the device. Buffers go with the device.
void AudioExit();
// True between a successful AudioInit and AudioExit.
bool AudioIsOpen();

// One empty buffer; c_audioNoBuffer when audio is closed or OpenAL refuses.
uint32_t AudioBufferCreate();
// Frees a buffer (detach it from every channel first); c_audioNoBuffer is ignored.
void AudioBufferDelete(uint32_t buffer);
// Fills a buffer with PCM samples: 1 or 2 channels of 8 or 16 bits (asserted).
void AudioBufferData(uint32_t buffer, int channelCount, int channelBits, int sampleRate, int byteSize,
                     const void* data);

// Starts a sound on a channel. A busy channel is stopped and restarted with the new settings.
// The gain is used as given (not cubed). With c_audioNoBuffer the channel's current buffer plays again.
void AudioPlay(int channel, uint32_t buffer, float gain, float rolloff, bool relative, bool looping);
// Stops the channel and detaches its buffer.
void AudioStop(int channel);
bool AudioIsPlaying(int channel);
void AudioSetPosition(int channel, float x, float y, float z);
// Channel gain = volume cubed, so the volume sliders feel even to the ear.
void AudioSetGain(int channel, float volume);
// The pitch of channels 0 .. channelCount-1. The music channel, when included, gets
// c_audioMusicFastPitch instead of any pitch above 1.
void AudioSetPitch(float pitch, int channelCount);
// The listener: position, facing direction and up direction.
void AudioSetListener(const float position[3], const float forward[3], const float up[3]);
// Listener gain = volume cubed.
void AudioSetMasterGain(float volume);

// What OpenAL holds for one channel, read back for tests and diagnostics.
struct AudioChannelState {
  float m_gain = 0.0f;
  float m_pitch = 0.0f;
  float m_rolloff = 0.0f;
  float m_referenceDistance = 0.0f;
  float m_maxDistance = 0.0f;
  float m_position[3] = {};
  uint32_t m_buffer = 0;
  bool m_relative = false;
  bool m_looping = false;
  bool m_playing = false;
};
// False when audio is closed or the channel is out of range (asserted).
bool AudioChannelQuery(int channel, AudioChannelState* out);
// The listener's OpenAL gain; -1 when audio is closed.
float AudioListenerGain();

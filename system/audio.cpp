// Audio: the thin layer over OpenAL on which effects and music play (one device, 32 channels, buffers, the listener).
#include "system/audio.h"

#include <AL/al.h>
#include <AL/alc.h>

#include "utility/log.h"

namespace {
ALCdevice* s_device = nullptr;
ALCcontext* s_context = nullptr;
bool s_sourcesCreated = false;
float s_referenceDistance = 0.2f;
ALuint s_channels[c_audioChannelLimit] = {};

bool ChannelOk(int channel) {
  ASSERT((channel >= 0) && (channel < c_audioChannelLimit));
  return channel >= 0 && channel < c_audioChannelLimit && s_sourcesCreated;
}

float Cubed(float volume) { return volume * volume * volume; }

// Reports an OpenAL error left by the calls just made; true when there was none.
bool NoAlError(const char* what, int channel) {
  ALenum error = alGetError();
  if (error == AL_NO_ERROR) return true;
  LOGE("Audio: %s on channel %d failed with OpenAL error 0x%x", what, channel, static_cast<unsigned>(error));
  return false;
}
}  // namespace

int AudioInit(const char* deviceName, float referenceDistance) {
  if (s_device) {
    LOGW("Audio is already open");
    return s_sourcesCreated ? 1 : 0;
  }
  s_referenceDistance = referenceDistance;
  s_device = alcOpenDevice(deviceName && deviceName[0] ? deviceName : nullptr);
  if (!s_device) return 0;
  s_context = alcCreateContext(s_device, nullptr);
  if (!s_context || !alcMakeContextCurrent(s_context)) {
    AudioExit();
    return 0;
  }
  alGetError();
  LOGI("AL_VENDOR %s", alGetString(AL_VENDOR));
  LOGI("AL_RENDERER %s", alGetString(AL_RENDERER));
  LOGI("AL_VERSION %s", alGetString(AL_VERSION));
  alGenSources(c_audioChannelLimit, s_channels);
  if (alGetError() != AL_NO_ERROR) {
    AudioExit();
    return 0;
  }
  s_sourcesCreated = true;
  alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
  return 1;
}

void AudioExit() {
  if (s_sourcesCreated) {
    for (int i = 0; i < c_audioChannelLimit; ++i) alSourceStop(s_channels[i]);
    alDeleteSources(c_audioChannelLimit, s_channels);
    for (ALuint& source : s_channels) source = 0;
  }
  if (s_context) {
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(s_context);
  }
  if (s_device) alcCloseDevice(s_device);
  s_referenceDistance = 0.0f;
  s_device = nullptr;
  s_context = nullptr;
  s_sourcesCreated = false;
}

bool AudioIsOpen() { return s_sourcesCreated; }

uint32_t AudioBufferCreate() {
  if (!s_sourcesCreated) return c_audioNoBuffer;
  alGetError();
  ALuint buffer = 0;
  alGenBuffers(1, &buffer);
  if (alGetError() != AL_NO_ERROR) return c_audioNoBuffer;
  return buffer;
}

void AudioBufferDelete(uint32_t buffer) {
  if (!s_sourcesCreated || buffer == c_audioNoBuffer) return;
  ALuint name = buffer;
  alDeleteBuffers(1, &name);
  NoAlError("deleting a buffer", -1);
}

void AudioBufferData(uint32_t buffer, int channelCount, int channelBits, int sampleRate, int byteSize,
                     const void* data) {
  ASSERT((channelCount == 1) || (channelCount == 2));
  ASSERT((channelBits == 8) || (channelBits == 16));
  if ((channelCount != 1 && channelCount != 2) || (channelBits != 8 && channelBits != 16)) return;
  if (!s_sourcesCreated || buffer == c_audioNoBuffer) return;
  ALenum format;
  if (channelCount == 1)
    format = channelBits == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
  else
    format = channelBits == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
  alBufferData(buffer, format, data, byteSize, sampleRate);
  NoAlError("filling a buffer", -1);
}

void AudioPlay(int channel, uint32_t buffer, float gain, float rolloff, bool relative, bool looping) {
  if (!ChannelOk(channel)) return;
  ALuint source = s_channels[channel];
  alSourcef(source, AL_REFERENCE_DISTANCE, s_referenceDistance);
  alSourcef(source, AL_MAX_DISTANCE, c_audioMaxDistance);
  alSourcef(source, AL_ROLLOFF_FACTOR, rolloff);
  alSourcef(source, AL_GAIN, gain);
  alSourcei(source, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
  alSourcei(source, AL_SOURCE_RELATIVE, relative ? AL_TRUE : AL_FALSE);
  alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
  if (buffer != c_audioNoBuffer) {
    // OpenAL refuses a new buffer on a source that is playing (or paused), and the old sound would
    // go on: stop it first. A stopped source keeps its settings.
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
  }
  alSourcePlay(source);
  NoAlError("playing", channel);
}

void AudioStop(int channel) {
  if (!ChannelOk(channel)) return;
  alSourceStop(s_channels[channel]);
  alSourcei(s_channels[channel], AL_BUFFER, 0);
}

bool AudioIsPlaying(int channel) {
  if (!ChannelOk(channel)) return false;
  ALint state = AL_STOPPED;
  alGetSourcei(s_channels[channel], AL_SOURCE_STATE, &state);
  return state == AL_PLAYING;
}

void AudioSetPosition(int channel, float x, float y, float z) {
  if (!ChannelOk(channel)) return;
  alSource3f(s_channels[channel], AL_POSITION, x, y, z);
}

void AudioSetGain(int channel, float volume) {
  if (!ChannelOk(channel)) return;
  alSourcef(s_channels[channel], AL_GAIN, Cubed(volume));
}

void AudioSetPitch(float pitch, int channelCount) {
  if (!s_sourcesCreated) return;
  ASSERT((channelCount >= 0) && (channelCount <= c_audioChannelLimit));
  if (channelCount > c_audioChannelLimit) channelCount = c_audioChannelLimit;
  for (int i = 0; i < channelCount; ++i) {
    float p = (i == c_audioMusicChannel && pitch > 1.0f) ? c_audioMusicFastPitch : pitch;
    alSourcef(s_channels[i], AL_PITCH, p);
  }
}

void AudioSetListener(const float position[3], const float forward[3], const float up[3]) {
  if (!s_sourcesCreated) return;
  alListener3f(AL_POSITION, position[0], position[1], position[2]);
  ALfloat orientation[6] = {forward[0], forward[1], forward[2], up[0], up[1], up[2]};
  alListenerfv(AL_ORIENTATION, orientation);
}

void AudioSetMasterGain(float volume) {
  if (!s_sourcesCreated) return;
  alListenerf(AL_GAIN, Cubed(volume));
}

bool AudioChannelQuery(int channel, AudioChannelState* out) {
  if (!ChannelOk(channel)) return false;
  ALuint source = s_channels[channel];
  alGetSourcef(source, AL_GAIN, &out->m_gain);
  alGetSourcef(source, AL_PITCH, &out->m_pitch);
  alGetSourcef(source, AL_ROLLOFF_FACTOR, &out->m_rolloff);
  alGetSourcef(source, AL_REFERENCE_DISTANCE, &out->m_referenceDistance);
  alGetSourcef(source, AL_MAX_DISTANCE, &out->m_maxDistance);
  alGetSource3f(source, AL_POSITION, &out->m_position[0], &out->m_position[1], &out->m_position[2]);
  ALint value = 0;
  alGetSourcei(source, AL_BUFFER, &value);
  out->m_buffer = static_cast<uint32_t>(value);
  alGetSourcei(source, AL_SOURCE_RELATIVE, &value);
  out->m_relative = value == AL_TRUE;
  alGetSourcei(source, AL_LOOPING, &value);
  out->m_looping = value == AL_TRUE;
  value = AL_STOPPED;
  alGetSourcei(source, AL_SOURCE_STATE, &value);
  out->m_playing = value == AL_PLAYING;
  return true;
}

float AudioListenerGain() {
  if (!s_sourcesCreated) return -1.0f;
  ALfloat gain = -1.0f;
  alGetListenerf(AL_GAIN, &gain);
  return gain;
}

// Reading keys out of a message and building the visualisation's messages, the same for both sides.
#include "utility/message_codec.h"

#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* MessageValue(const char* text, const char* key) {
  if (!text || !key) return nullptr;
  const char* rest = text;
  while (*rest && *rest != ' ' && *rest != '\n') ++rest;
  const char* at = strstr(rest, key);
  if (!at) return nullptr;
  const char* eq = strchr(at, '=');
  if (!eq || !eq[1]) return nullptr;
  return eq + 1;
}

int32_t MessageIntValue(const char* text, const char* key) {
  const char* v = MessageValue(text, key);
  if (!v) return c_messageIntAbsent;
  const long long n = strtoll(v, nullptr, 10);
  if (n > INT32_MAX) return INT32_MAX;
  if (n < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(n);
}

float MessageFloatValue(const char* text, const char* key, float fallback) {
  const char* v = MessageValue(text, key);
  if (!v) return fallback;
  const float f = static_cast<float>(atof(v));
  return f > -FLT_MAX ? f : fallback;
}

int MessageWordValue(const char* text, const char* key, char* out, size_t size) {
  if (!out || size == 0) return 0;
  out[0] = 0;
  const char* v = MessageValue(text, key);
  if (!v) return 0;
  size_t n = 0;
  while (n + 1 < size && v[n] && v[n] != '\n' && v[n] != ' ') {
    out[n] = v[n];
    ++n;
  }
  out[n] = 0;
  return static_cast<int>(n);
}

int MessageLeftClick(char* out, size_t size, int down, int moved, int tile, int actor, int modalt, int modctl,
                     int modshf) {
  return snprintf(out, size, "leftclick down=%d moved=%d tile=%d actor=%d modalt=%d modctl=%d modshf=%d", down, moved,
                  tile, actor, modalt, modctl, modshf);
}

int MessagePlayerAction(char* out, size_t size, const char* name) {
  return snprintf(out, size, "playeraction name=%s", name ? name : "");
}

int MessagePlayerSpeak(char* out, size_t size, int line) { return snprintf(out, size, "playerspeak line=%d", line); }

int MessageSimSpeed(char* out, size_t size, int accelerated, int musicff) {
  return snprintf(out, size, "simspeed accelerated=%d musicff=%d", accelerated, musicff);
}

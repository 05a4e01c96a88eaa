// The text of the messages between simulation and visualisation: one reader of keys for both sides, one builder per
// message the visualisation sends.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

// Longest message either side reads; longer ones are cut to 1023 characters.
constexpr int c_messageBufferSize = 1024;
// What an integer key reads as when it is absent or has no value.
constexpr int32_t c_messageIntAbsent = INT_MIN;

// A message is a keyword, then blank-separated key=value pairs. A key is looked for as a plain
// substring of the text after the keyword (it may match inside a longer word), and its value is
// what follows the first '=' after it. Null when the key is missing, has no '=' or nothing
// follows the '='.
const char* MessageValue(const char* text, const char* key);
// The integer value by atoi's reading, but a number too big for 32 bits is clamped rather than
// wrapped, so both sides read the same number; c_messageIntAbsent when absent.
int32_t MessageIntValue(const char* text, const char* key);
// The float value by atof's reading; the fallback when absent or not above the lowest float.
float MessageFloatValue(const char* text, const char* key, float fallback);
// The word value (up to a NUL, line feed or blank) copied into out, cut to size - 1 characters;
// empty when absent. Returns its length.
int MessageWordValue(const char* text, const char* key, char* out, size_t size);

// The builders write the whole message into out, cut to size - 1 characters and NUL-terminated,
// and return the length the message needs (as snprintf does).
int MessageLeftClick(char* out, size_t size, int down, int moved, int tile, int actor, int modalt, int modctl,
                     int modshf);
int MessagePlayerAction(char* out, size_t size, const char* name);
int MessagePlayerSpeak(char* out, size_t size, int line);
int MessageSimSpeed(char* out, size_t size, int accelerated, int musicff);

// KeyVal: finding, setting and removing \key\value pairs in the settings text.
#include "utility/keyval.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "utility/log.h"

namespace {
// Keys and values are separated by backslashes, so one inside either would break the
// text apart; an empty key could never be found again.
bool KeyUsable(const char* key) { return key && key[0] && !strchr(key, '\\'); }
}  // namespace

KeyVal::KeyVal() {
  m_buffer = new (std::nothrow) char[c_bufferLimit];
  ASSERTT(m_buffer != nullptr, "m_buffer != NULL");
  if (m_buffer) memset(m_buffer, 0, c_bufferLimit);
}

KeyVal::~KeyVal() { delete[] m_buffer; }

const char* KeyVal::FindPair(const char* key) const {
  if (!m_buffer || !KeyUsable(key)) return nullptr;
  size_t keyLen = strlen(key);
  // Walk the pairs one by one instead of searching for "\key\" anywhere, so a value
  // that happens to spell another key's name is never taken for that key.
  const char* p = strchr(m_buffer, '\\');
  while (p) {
    const char* k = p + 1;
    const char* sep = strchr(k, '\\');
    if (!sep) return nullptr;  // a key without a value ends the text
    if (static_cast<size_t>(sep - k) == keyLen && memcmp(k, key, keyLen) == 0) return p;
    p = strchr(sep + 1, '\\');
  }
  return nullptr;
}

bool KeyVal::GetString(const char* key, char* out, int outSize, const char* defaultText) const {
  const char* pair = FindPair(key);
  // A value is never empty; a hand-edited file's empty one counts as no value at all, so the
  // option keeps its default instead of reading as 0.
  if (pair) {
    const char* stored = pair + 1 + strlen(key) + 1;
    if (!stored[0] || stored[0] == '\\') pair = nullptr;
  }
  const char* value = defaultText ? defaultText : "";
  if (pair) value = pair + 1 + strlen(key) + 1;
  if (out && outSize > 0) {
    int n = 0;
    while (n < outSize - 1 && value[n] && !(pair && value[n] == '\\')) {
      out[n] = value[n];
      n++;
    }
    out[n] = 0;
  }
  return pair != nullptr;
}

int KeyVal::GetInt(const char* key, int defaultValue) const {
  char value[256];
  if (!GetString(key, value, sizeof(value), nullptr)) return defaultValue;
  // strtol rather than atoi: atoi's result is undefined for a number out of range,
  // and a hand-edited settings file may hold one.
  long v = strtol(value, nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

float KeyVal::GetFloat(const char* key, float defaultValue) const {
  char value[256];
  if (!GetString(key, value, sizeof(value), nullptr)) return defaultValue;
  // strtof gives infinity for a value beyond the float range, where a double cast to
  // float would be undefined.
  return strtof(value, nullptr);
}

void KeyVal::Remove(const char* key) {
  // Every pair of the key goes: a file may hold one twice, and a pair left behind would shadow
  // the value set after it.
  for (char* pair = const_cast<char*>(FindPair(key)); pair; pair = const_cast<char*>(FindPair(key))) {
    char* value = pair + 1 + strlen(key) + 1;
    char* next = strchr(value, '\\');
    if (!next) {
      *pair = 0;
      continue;
    }
    memmove(pair, next, strlen(next) + 1);
  }
}

void KeyVal::SetString(const char* key, const char* value) {
  if (!m_buffer) return;
  if (!KeyUsable(key) || (value && strchr(value, '\\'))) {
    LOGE("Setting '%s' not stored: keys and values must be non-empty and free of backslashes.", key ? key : "");
    return;
  }
  Remove(key);
  if (!value || !value[0]) return;
  char pair[c_bufferLimit];
  // The full length, not the cut one, decides whether it fits: a cut pair would store
  // a wrong value or a damaged key.
  int pairLen = snprintf(pair, sizeof(pair), "%c%s%c%s", '\\', key, '\\', value);
  int newLen = TextLength() + pairLen;
  ASSERTT_OR_RETURN_VOID(pairLen >= 0 && newLen < c_bufferLimit, "newLen < c_bufferLimit");
  memcpy(m_buffer + TextLength(), pair, pairLen + 1);
}

void KeyVal::SetInt(const char* key, int value) {
  char text[32];
  snprintf(text, sizeof(text), "%d", value);
  SetString(key, text);
}

void KeyVal::SetFloat(const char* key, float value) {
  char text[64];
  snprintf(text, sizeof(text), "%g", static_cast<double>(value));
  SetString(key, text);
}

void KeyVal::SetText(const char* bytes, int count) {
  if (!m_buffer) return;
  // Clear first: a file shorter than the buffer must not leave earlier text behind it.
  memset(m_buffer, 0, c_bufferLimit);
  if (!bytes || count <= 0) return;
  int n = count < c_bufferLimit ? count : c_bufferLimit;
  memcpy(m_buffer, bytes, n);
  if (n < c_bufferLimit) m_buffer[n] = 0;
  m_buffer[c_bufferLimit - 1] = 0;
  // A damaged file may end in a key without a value; a pair appended behind it would
  // read as that key's value. Drop the unfinished key so the pairs stay in step.
  int separators = 0;
  char* last = nullptr;
  for (char* p = strchr(m_buffer, '\\'); p; p = strchr(p + 1, '\\')) {
    separators++;
    last = p;
  }
  if (separators % 2) {
    LOGW("Settings text ends in a key without a value, dropped: %s", last + 1);
    *last = 0;
  }
}

const char* KeyVal::GetText() const { return m_buffer ? m_buffer : ""; }

int KeyVal::TextLength() const { return m_buffer ? static_cast<int>(strlen(m_buffer)) : 0; }

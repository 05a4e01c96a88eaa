// FixedString: bounded copies, appends and formatting into the 256-byte string record.
#include "utility/fixed_string.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "utility/log.h"

void FixedString::Clear() { memset(static_cast<void*>(this), 0, sizeof(*this)); }

void FixedString::Set(const char* text) {
  Clear();
  if (!text) return;
  int n = 0;
  while (n < c_maxLength && text[n]) {
    m_text[n] = text[n];
    n++;
  }
  m_length = static_cast<uint8_t>(n);
}

void FixedString::Append(const char* text) {
  if (!text) return;
  // A record loaded from a damaged file may claim more than fits; never write past it.
  int n = m_length > c_maxLength ? c_maxLength : m_length;
  while (n < c_maxLength && *text) m_text[n++] = *text++;
  m_text[n] = 0;
  m_length = static_cast<uint8_t>(n);
}

const char* FixedString::Format(const char* format, ...) {
  Clear();
  if (!format) return m_text;
  va_list args;
  va_start(args, format);
  // The buffer holds 254 characters and the NUL; vsnprintf cuts longer results itself.
  int n = vsnprintf(m_text, c_maxLength + 1, format, args);
  va_end(args);
  if (n < 0) {
    Clear();
    return m_text;
  }
  m_length = static_cast<uint8_t>(n > c_maxLength ? c_maxLength : n);
  return m_text;
}

const char* FixedString::SetBaseName(const char* path) {
  Clear();
  if (!path) return m_text;
  const char* start = strrchr(path, '/');
  start = start ? start + 1 : path;
  // Only a dot inside the file name starts an extension: "a.b/c" is "c".
  const char* end = strrchr(start, '.');
  if (!end) end = start + strlen(start);
  int n = 0;
  while (n < c_maxLength && start + n < end) {
    m_text[n] = start[n];
    n++;
  }
  m_length = static_cast<uint8_t>(n);
  return m_text;
}

void FixedString::Replace(char a, char b) {
  int n = m_length > c_maxLength ? c_maxLength : m_length;
  for (int i = 0; i < n; i++)
    if (m_text[i] == a) m_text[i] = b;
}

void FixedString::Chop(int count) {
  // A negative count would grow the string over whatever bytes lie behind it.
  ASSERTM_OR_RETURN_VOID(count >= 0, "count %d", count);
  if (count == 0) return;
  int n = m_length > c_maxLength ? c_maxLength : m_length;
  int m = n - count;
  if (m < 0) m = 0;
  m_length = static_cast<uint8_t>(m);
  m_text[m] = 0;
}

bool FixedString::Repair() {
  // The last byte is the NUL of a 254-character string; force it so the scan stops.
  bool intact = m_text[c_maxLength] == 0;
  m_text[c_maxLength] = 0;
  int n = static_cast<int>(strlen(m_text));
  if (n != m_length) intact = false;
  m_length = static_cast<uint8_t>(n);
  return intact;
}

bool FixedString::Equals(const char* text) const { return text && strcmp(m_text, text) == 0; }

// FixedString: the 256-byte string value used for names, paths and lines (no heap, saved raw).
#pragma once

#include <cstdint>
#include <type_traits>

// Byte 0 holds the length (at most 254), then the characters and their NUL. The record
// is written raw into the save file and the world parts' name arrays, so its layout
// must never change and it must stay trivially copyable.
struct FixedString {
  static constexpr int c_maxLength = 254;

  uint8_t m_length = 0;
  char m_text[255] = {};

  FixedString() = default;
  // Same as Set: a null text gives the empty string.
  explicit FixedString(const char* text) { Set(text); }

  // All 256 bytes zero.
  void Clear();
  // Clears, then copies the text up to 254 characters; null leaves the string empty.
  void Set(const char* text);
  // Copies characters behind the current ones until the text ends or the length is 254.
  // Bytes behind the new NUL are left as they were. Null changes nothing.
  void Append(const char* text);
  // Clears, then formats; longer results are cut at 254 characters, a formatting error
  // gives the empty string. Returns the characters.
  const char* Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // The file name of the path without its directory (up to the last '/') and without
  // its extension (from the last '.' in the file name). Returns the characters.
  const char* SetBaseName(const char* path);
  // Every character a among the first Length() becomes b; the NUL is never touched.
  void Replace(char a, char b);
  // Drops the last count characters; more than there are gives the empty string.
  void Chop(int count);

  // Makes a record read from a file safe to use: the length at most 254 and equal to
  // the characters before the first NUL. Returns false when it had to change anything.
  bool Repair();

  const char* c_str() const { return m_text; }
  int Length() const { return m_length; }
  bool Empty() const { return m_length == 0; }
  bool Equals(const char* text) const;
};

static_assert(sizeof(FixedString) == 256, "FixedString is stored raw in save files");
static_assert(std::is_trivially_copyable_v<FixedString>, "FixedString is copied and saved as raw bytes");
static_assert(std::is_standard_layout_v<FixedString>, "FixedString is saved as raw bytes");

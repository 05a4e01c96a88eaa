// KeyVal: the settings store behind "settings.dat", pairs written as \key\value in one text buffer.
#pragma once

// The text of all pairs lives in one buffer of c_bufferLimit bytes, its NUL included.
// "settings.dat" holds exactly that text and one NUL. Keys and values must not contain
// a backslash; a value is never empty.
class KeyVal {
 public:
  static constexpr int c_bufferLimit = 1024;

  KeyVal();
  ~KeyVal();
  KeyVal(const KeyVal&) = delete;
  KeyVal& operator=(const KeyVal&) = delete;

  // True when the key is present with a value: its value, cut to outSize - 1 characters.
  // Otherwise (an empty value counts as absent) the default text (null counts as empty),
  // equally cut, and false.
  bool GetString(const char* key, char* out, int outSize, const char* defaultText) const;
  // The value read like atoi (0 when it has no leading digits), or the default when absent.
  // Values beyond the int range are clamped.
  int GetInt(const char* key, int defaultValue) const;
  // The value read like atof, or the default when absent.
  float GetFloat(const char* key, float defaultValue) const;

  // Removes every pair of the key, then appends \key\value at the end of the text when the value is
  // neither null nor empty and the pair fits (else the assertion "newLen < c_bufferLimit"
  // trips and the key stays removed).
  void SetString(const char* key, const char* value);
  void SetInt(const char* key, int value);      // "%d"
  void SetFloat(const char* key, float value);  // "%g"
  void Remove(const char* key);

  // Loads the bytes read from "settings.dat". The text ends at the first NUL, at count,
  // or at the last byte of the buffer, whichever comes first; nothing stale survives.
  void SetText(const char* bytes, int count);
  // The text to save; write TextLength() + 1 bytes to include its NUL.
  const char* GetText() const;
  int TextLength() const;

 private:
  // Start of the key's pair (its leading backslash), or null when absent.
  const char* FindPair(const char* key) const;

  char* m_buffer;
};

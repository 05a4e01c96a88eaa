// The save file as one stream of fields, moved the same way in both directions, that stops at its first failure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "system/file.h"

// Every part of the world moves its save record through one of these, field by field. The
// stream holds the file, the direction and the first failure; after a failure nothing more is
// moved, so a failed save is reported once (by whoever writes the file) and a refused record
// is never followed by fields read out of step.
class SaveStream {
 public:
  SaveStream(FileHandle file, bool write) : m_file(file), m_write(write) {}
  // A stream that writes to no file and only notes where each field ends, in order, up to
  // `capacity` of them: the layout of the save a world would write.
  static SaveStream Measure(uint64_t* fieldEnds, int capacity);

  bool Writing() const { return m_write; }
  // "to" when writing, "from" when reading, for the parts' log lines.
  const char* Direction() const { return m_write ? "to" : "from"; }
  bool Failed() const { return m_failed; }
  // Bytes moved so far, and the fields moved or tried.
  uint64_t Bytes() const { return m_bytes; }
  int Fields() const { return m_fields; }

  // Moves one field. A field that moves fewer bytes than asked fails the stream. A short read is
  // an impossible state (the file was checked whole before reading) and is asserted with the
  // field's text; a short write is an error of the disk, left to the caller to report once.
  // Returns the bytes moved, 0 once the stream has failed.
  size_t Field(void* data, size_t bytes, const char* text);
  // Writes `bytes` copies of one byte as one field: the map of a part never made for this globe.
  size_t Fill(uint8_t value, size_t bytes, const char* text);
  // A record refused while reading because its counts do not fit: logged as a corrupt save,
  // and the stream stops.
  void Refuse(const char* what);
  // Stops the stream without a line of its own (the caller has logged why).
  void Stop() { m_failed = true; }

 private:
  void Note(size_t bytes);

  FileHandle m_file = 0;
  bool m_write = false;
  bool m_failed = false;
  bool m_measure = false;
  uint64_t m_bytes = 0;
  int m_fields = 0;
  uint64_t* m_fieldEnds = nullptr;
  int m_capacity = 0;
};

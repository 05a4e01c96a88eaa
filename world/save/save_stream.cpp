// The save stream: one field operation for both directions, with one failure policy.
#include "world/save/save_stream.h"

#include <cstring>

#include "utility/log.h"

SaveStream SaveStream::Measure(uint64_t* fieldEnds, int capacity) {
  SaveStream s(0, true);
  s.m_measure = true;
  s.m_fieldEnds = fieldEnds;
  s.m_capacity = fieldEnds ? capacity : 0;
  return s;
}

void SaveStream::Note(size_t bytes) {
  m_bytes += bytes;
  if (m_fields < m_capacity) m_fieldEnds[m_fields] = m_bytes;
  ++m_fields;
}

size_t SaveStream::Field(void* data, size_t bytes, const char* text) {
  if (m_failed) return 0;
  if (m_measure) {
    Note(bytes);
    return bytes;
  }
  const size_t moved = m_write ? FileWrite(m_file, data, bytes) : FileRead(m_file, data, bytes);
  Note(moved);
  if (moved != bytes) {
    m_failed = true;
    if (!m_write) ASSERTT(moved == bytes, text);
  }
  return moved;
}

size_t SaveStream::Fill(uint8_t value, size_t bytes, const char* text) {
  if (m_failed) return 0;
  if (m_measure) {
    Note(bytes);
    return bytes;
  }
  uint8_t block[4096];
  memset(block, value, sizeof(block));
  size_t done = 0;
  while (done < bytes) {
    const size_t chunk = bytes - done < sizeof(block) ? bytes - done : sizeof(block);
    const size_t got = FileWrite(m_file, block, chunk);
    done += got;
    if (got != chunk) break;
  }
  Note(done);
  if (done != bytes) {
    m_failed = true;
    if (!m_write) ASSERTT(done == bytes, text);
  }
  return done;
}

void SaveStream::Refuse(const char* what) {
  m_failed = true;
  LOGE("Invalid or corrupt saved game: %s.", what);
}

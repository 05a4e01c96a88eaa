// Message transport: appending and reading packets, and the two lock-free mailbox rings.
#include "utility/message.h"

#include <cstring>

#include "utility/log.h"

namespace {
struct MailboxRing {
  Packet m_slots[c_mailboxSlots];
  uint32_t m_read;
  uint32_t m_write;
};

// Ring 0 carries sim to vis, ring 1 vis to sim. Both sides run on the main thread one
// after the other, so there is no lock.
MailboxRing mailbox[2];
}  // namespace

bool Packet::Append(const char* text) {
  if (!text) text = "";
  size_t n = strlen(text) + 1;
  if (m_size < 0 || m_size > c_packetLimit || n > static_cast<size_t>(c_packetLimit - m_size)) {
    m_overflow = 1;
    return false;
  }
  memcpy(m_data + m_size, text, n);
  m_size += static_cast<int32_t>(n);
  return true;
}

int Packet::Read(char* buffer, int bufferSize, char delimiter) {
  // A damaged size must never let the reader run off the data, nor keep a reader walking
  // "while (m_readPos < m_size)" for ever: the size is cut back to what the data can hold.
  if (m_size < 0) m_size = 0;
  if (m_size > c_packetLimit) m_size = c_packetLimit;
  const int size = m_size;
  if (m_readPos < 0 || m_readPos > size) m_readPos = size;
  if (!buffer) bufferSize = 0;
  int stored = 0;
  for (;;) {
    bool end = m_readPos >= size;
    char c = end ? 0 : m_data[m_readPos];
    m_readPos++;
    if (end || c == 0 || c == delimiter) break;
    if (stored < bufferSize - 1) buffer[stored++] = c;
  }
  if (bufferSize > 0) buffer[stored] = 0;
  return stored;
}

void Packet::Empty() {
  m_readPos = 0;
  m_size = 0;
  m_overflow = 0;
}

void MailboxPost(int sender, const Packet& packet) {
  if (sender != c_mailboxVis && sender != c_mailboxSim) {
    ASSERTM(false, "sender %d", sender);
    return;
  }
  MailboxRing& ring = mailbox[sender == c_mailboxVis ? 1 : 0];
  ring.m_slots[ring.m_write % c_mailboxSlots] = packet;
  ring.m_write++;
}

bool MailboxReceive(int receiver, Packet* out) {
  if (receiver != c_mailboxVis && receiver != c_mailboxSim) {
    ASSERTM(false, "receiver %d", receiver);
    return false;
  }
  MailboxRing& ring = mailbox[receiver == c_mailboxVis ? 0 : 1];
  // The signed difference stays right when the counters wrap around.
  int32_t waiting = static_cast<int32_t>(ring.m_write - ring.m_read);
  if (waiting > c_mailboxSlots) {
    ring.m_read = ring.m_write - c_mailboxSlots;
    waiting = c_mailboxSlots;
  }
  if (waiting <= 0) return false;
  if (out) *out = ring.m_slots[ring.m_read % c_mailboxSlots];
  ring.m_read++;
  return true;
}

void MailboxReset() {
  for (MailboxRing& ring : mailbox) {
    ring.m_read = 0;
    ring.m_write = 0;
  }
}

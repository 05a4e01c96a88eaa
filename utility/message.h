// Message transport between simulation and visualisation: the Packet buffer and the two Mailbox rings.
#pragma once

#include <cstdint>

constexpr int c_packetLimit = 1400;  // data bytes of one packet, every message's NUL included
constexpr int c_mailboxSlots = 4;    // packets a ring keeps; a reader further behind loses the oldest

// Sender and receiver numbers: each side reads the ring the other side writes.
constexpr int c_mailboxVis = 0;  // sends on ring 1, receives on ring 0
constexpr int c_mailboxSim = 1;  // sends on ring 0, receives on ring 1

// NUL-terminated message strings back to back. A plain value, copied whole by the
// mailbox. A message is never split: one that does not fit sets m_overflow and is
// dropped, and the owner decides what to do (the vis re-posts, the sim drops).
struct Packet {
  int32_t m_readPos = 0;   // next character to read
  int32_t m_size = 0;      // bytes in use
  uint8_t m_overflow = 0;  // 1 once an append did not fit, until the owner empties the packet
  char m_data[c_packetLimit] = {};

  // Appends the text and its NUL; null counts as the empty string. False when it did not fit
  // (nothing stored, m_overflow set), so a message that must arrive once can be sent again.
  bool Append(const char* text);
  // Copies the next message (up to its NUL, the delimiter or the end of the used data)
  // into the buffer, cut to bufferSize - 1 characters and always NUL-terminated; the
  // rest of a cut message is consumed. Returns the number of characters stored.
  // Walk a packet with: while (p.m_readPos < p.m_size) p.Read(buf, sizeof(buf), 0);
  int Read(char* buffer, int bufferSize, char delimiter = 0);
  // Empties the packet for the next frame: size, read position and overflow flag to 0.
  void Empty();
};

// Copies the packet into the next slot of the sender's outgoing ring. Never blocks;
// a fifth unread packet overwrites the oldest unread one.
void MailboxPost(int sender, const Packet& packet);
// Takes the oldest waiting packet of the receiver's incoming ring, skipping ahead to the
// newest four when more are waiting. False when none waits (out is then untouched).
bool MailboxReceive(int receiver, Packet* out);
// Both rings back to empty (counters 0). Called at shut-down, and by tests.
void MailboxReset();

// Fuzzes the message packet: packets of arbitrary bytes read back in pieces, messages appended until
// full and passed through the mailboxes, and every message's keys read as both sides parse them.
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "graphics/vis_input.h"
#include "utility/message.h"
#include "world/sim_frame.h"

namespace {

// Reads the message's keys the way both ends of the protocol do; the results only have to exist.
void ParseKeys(const char* text) {
  static const char* const keys[] = {"tile", "down", "nr", "line", "accelerated", "x", "y", "name", "", "=", " "};
  for (const char* key : keys) {
    const int32_t a = MessageIntValue(text, key);
    const int b = MessageInt(text, key);
    (void)a, (void)b;
    const float f = MessageFloat(text, key, -1.0f);
    (void)f;
    char word[80];
    memset(word, 0x5a, sizeof(word));
    MessageWord(text, key, word);
    if (!memchr(word, 0, sizeof(word))) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpFolders(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in{data, size};
  const int bufferSize = 1 + in.Byte() % 64;  // small buffers cut messages
  const char delimiter = static_cast<char>(in.Byte() % 3 == 0 ? '\n' : 0);

  // A packet holding whatever bytes came, read back whole in small and large pieces.
  Packet raw;
  raw.m_size = static_cast<int32_t>(in.size < c_packetLimit ? in.size : c_packetLimit);
  memcpy(raw.m_data, in.data, raw.m_size);
  Packet copy = raw;
  char small[64];
  int reads = 0;
  while (raw.m_readPos < raw.m_size) {
    const int n = raw.Read(small, bufferSize, delimiter);
    if (n < 0 || n >= bufferSize || small[n] != 0 || ++reads > c_packetLimit + 1) abort();
  }
  // A last message without its NUL leaves the position one past the end.
  if (raw.m_readPos != raw.m_size && raw.m_readPos != raw.m_size + 1) abort();
  char big[c_messageBufferSize];
  while (copy.m_readPos < copy.m_size) {
    const int n = copy.Read(big, sizeof(big), 0);
    if (n < 0 || n >= static_cast<int>(sizeof(big)) || big[n] != 0) abort();
    ParseKeys(big);
  }

  // The messages appended one by one until the packet is full, then posted and received.
  MailboxReset();
  Packet out;
  int stored = 0;
  std::string last;
  while (in.size) {
    const std::string line = in.Line();
    const int before = out.m_size;
    if (out.Append(line.c_str())) {
      if (out.m_size != before + static_cast<int>(line.size()) + 1) abort();
      ++stored;
    } else if (out.m_size != before || !out.m_overflow) {
      abort();
    }
    if (out.m_size > c_packetLimit) abort();
  }
  MailboxPost(c_mailboxVis, out);
  Packet got;
  if (!MailboxReceive(c_mailboxSim, &got)) abort();
  if (got.m_size != out.m_size || memcmp(got.m_data, out.m_data, out.m_size) != 0) abort();
  int count = 0;
  while (got.m_readPos < got.m_size) {
    got.Read(big, sizeof(big), 0);
    ++count;
  }
  if (count != stored) abort();
  if (MailboxReceive(c_mailboxSim, &got)) abort();
  return 0;
}

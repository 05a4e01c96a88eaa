// Fuzzes the message packet: packets of arbitrary bytes read back in pieces, messages appended until
// full and passed through the mailboxes, and every message's keys read as both sides parse them.
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "utility/message.h"
#include "utility/message_codec.h"

namespace {

// Reads the message's keys as both ends of the protocol do, through the one codec: every integer
// is the clamped number of the value text both sides see, a word never overruns its buffer, and a
// message the display builds reads back on the simulation's side as it was built.
void ParseKeys(const char* text) {
  static const char* const keys[] = {"tile", "down", "nr", "line", "accelerated", "x", "y", "name", "", "=", " "};
  for (const char* key : keys) {
    const char* value = MessageValue(text, key);
    const int32_t n = MessageIntValue(text, key);
    if (!value && n != c_messageIntAbsent) abort();
    if (value) {
      const long long wide = strtoll(value, nullptr, 10);
      const int32_t clamped = wide > INT32_MAX ? INT32_MAX : wide < INT32_MIN ? INT32_MIN : static_cast<int32_t>(wide);
      if (n != clamped) abort();
    }
    const float f = MessageFloatValue(text, key, -1.0f);
    (void)f;
    char word[80];
    memset(word, 0x5a, sizeof(word));
    const int length = MessageWordValue(text, key, word, sizeof(word));
    if (!memchr(word, 0, sizeof(word)) || length != static_cast<int>(strlen(word))) abort();
  }
}

// The numbers of a left click, built by the display and read back by the simulation.
void RoundTrip(fuzz::Input& in) {
  int32_t v[7];
  for (int32_t& x : v) x = static_cast<int32_t>(in.U32());
  char text[256];
  MessageLeftClick(text, sizeof(text), v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
  static const char* const keys[] = {"down", "moved", "tile", "actor", "modalt", "modctl", "modshf"};
  for (int k = 0; k < 7; ++k)
    if (MessageIntValue(text, keys[k]) != v[k]) abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpFolders(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in{data, size};
  fuzz::Input numbers{data, size};  // the same bytes, read as numbers
  RoundTrip(numbers);
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

// Packets and mailboxes: the 1400-byte limit, overflow, cut reads and the four-slot rings.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"
#include "utility/message.h"
#include "utility/message_codec.h"

namespace {
std::vector<std::string> ReadAll(Packet& p) {
  std::vector<std::string> out;
  char buf[1024];
  while (p.m_readPos < p.m_size) {
    p.Read(buf, sizeof(buf), 0);
    out.push_back(buf);
  }
  return out;
}

Packet Numbered(int n) {
  Packet p;
  p.Append(("packet " + std::to_string(n)).c_str());
  return p;
}

std::string FirstMessage(Packet p) {
  char buf[1024];
  p.Read(buf, sizeof(buf), 0);
  return buf;
}
}  // namespace

TEST(Packet, LimitAndOverflow) {
  Packet p;
  std::string fits(1399, 'a');
  EXPECT_TRUE(p.Append(fits.c_str()));
  EXPECT_EQ(p.m_size, 1400);
  EXPECT_EQ(p.m_overflow, 0);
  EXPECT_FALSE(p.Append(nullptr));  // even the empty message needs a byte
  EXPECT_EQ(p.m_overflow, 1);
  EXPECT_EQ(p.m_size, 1400);

  Packet q;
  q.Append(std::string(1400, 'b').c_str());
  EXPECT_EQ(q.m_overflow, 1);
  EXPECT_EQ(q.m_size, 0);

  // After an overflow, later messages that fit are still stored; the flag stays.
  q.Append("soundeffect name=pickup gain=3 tile=7");
  q.Append(nullptr);
  EXPECT_EQ(q.m_overflow, 1);
  EXPECT_EQ(q.m_size, 38 + 1);
  std::vector<std::string> got = ReadAll(q);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], "soundeffect name=pickup gain=3 tile=7");
  EXPECT_EQ(got[1], "");

  q.Empty();
  EXPECT_EQ(q.m_size, 0);
  EXPECT_EQ(q.m_overflow, 0);
  EXPECT_EQ(q.m_readPos, 0);
}

TEST(Packet, ReadCutsAndStopsAtTheUsedSize) {
  // A message longer than the 1024-byte buffer is cut at 1023 characters and the rest
  // of it is consumed, so the next read gets the next message.
  Packet p;
  std::string longMessage = std::string(1023, 'x') + "TAIL";
  p.Append(longMessage.c_str());
  p.Append("next");
  char buf[1024];
  EXPECT_EQ(p.Read(buf, sizeof(buf), 0), 1023);
  EXPECT_EQ(std::string(buf), std::string(1023, 'x'));
  EXPECT_EQ(p.Read(buf, sizeof(buf), 0), 4);
  EXPECT_STREQ(buf, "next");
  EXPECT_EQ(p.m_readPos, p.m_size);

  // Exactly 1023 characters arrive whole.
  Packet e;
  e.Append(std::string(1023, 'y').c_str());
  EXPECT_EQ(e.Read(buf, sizeof(buf), 0), 1023);
  EXPECT_EQ(e.m_readPos, 1024);

  // A last message without its NUL stops at the used size, never at stale data.
  Packet q;
  q.Append("abc");
  q.Append("defgh");
  q.m_size -= 3;  // "gh\0" lies beyond the used size
  std::vector<std::string> got = ReadAll(q);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1], "def");

  // A delimiter ends the message too; tiny buffers still get a terminated string.
  Packet d;
  d.Append("key=value");
  char small[4];
  EXPECT_EQ(d.Read(small, sizeof(small), '='), 3);
  EXPECT_STREQ(small, "key");
  EXPECT_EQ(d.Read(small, 1, 0), 0);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(d.m_readPos, d.m_size);

  // Reading past the end gives empty messages, never bytes outside the data.
  Packet empty;
  EXPECT_EQ(empty.Read(buf, sizeof(buf), 0), 0);
  EXPECT_STREQ(buf, "");
  Packet damaged;
  damaged.m_size = 99999;
  damaged.m_readPos = -5;
  EXPECT_EQ(damaged.Read(buf, sizeof(buf), 0), 0);

  // A reader's walk over a packet whose size is damaged beyond the limit ends at the limit.
  Packet big;
  memset(big.m_data, 'z', sizeof(big.m_data));
  big.m_data[10] = 0;
  big.m_size = c_packetLimit + 500;
  int messages = 0;
  while (big.m_readPos < big.m_size && messages < 100) {
    big.Read(buf, sizeof(buf), 0);
    ++messages;
  }
  EXPECT_EQ(messages, 2);
  EXPECT_LE(big.m_size, c_packetLimit);
}

TEST(Mailbox, RingsKeepTheNewestFour) {
  MailboxReset();
  Packet out;
  EXPECT_FALSE(MailboxReceive(c_mailboxSim, &out));
  EXPECT_FALSE(MailboxReceive(c_mailboxVis, &out));

  // Each side reads what the other posts.
  MailboxPost(c_mailboxVis, Numbered(1));
  EXPECT_FALSE(MailboxReceive(c_mailboxVis, &out));
  ASSERT_TRUE(MailboxReceive(c_mailboxSim, &out));
  EXPECT_EQ(FirstMessage(out), "packet 1");

  // Five posts before a receive: the first is overwritten, the second comes first,
  // and four receives drain the ring.
  MailboxReset();
  for (int i = 1; i <= 5; i++) MailboxPost(c_mailboxSim, Numbered(i));
  for (int i = 2; i <= 5; i++) {
    ASSERT_TRUE(MailboxReceive(c_mailboxVis, &out));
    EXPECT_EQ(FirstMessage(out), "packet " + std::to_string(i));
  }
  EXPECT_FALSE(MailboxReceive(c_mailboxVis, &out));

  // Six posts: the two oldest are lost.
  MailboxReset();
  for (int i = 1; i <= 6; i++) MailboxPost(c_mailboxSim, Numbered(i));
  std::vector<std::string> got;
  while (MailboxReceive(c_mailboxVis, &out)) got.push_back(FirstMessage(out));
  EXPECT_EQ(got, (std::vector<std::string>{"packet 3", "packet 4", "packet 5", "packet 6"}));

  // An empty packet is still a packet: received, with no message in it.
  MailboxReset();
  Packet nothing;
  MailboxPost(c_mailboxVis, nothing);
  Packet marker = Numbered(9);
  ASSERT_TRUE(MailboxReceive(c_mailboxSim, &marker));
  EXPECT_EQ(marker.m_size, 0);
  EXPECT_TRUE(ReadAll(marker).empty());

  // Receive on an empty ring leaves the output untouched.
  Packet untouched = Numbered(7);
  EXPECT_FALSE(MailboxReceive(c_mailboxSim, &untouched));
  EXPECT_EQ(FirstMessage(untouched), "packet 7");

  // The overflow flag travels with the packet.
  Packet over;
  over.Append(std::string(2000, 'o').c_str());
  MailboxPost(c_mailboxSim, over);
  ASSERT_TRUE(MailboxReceive(c_mailboxVis, &out));
  EXPECT_EQ(out.m_overflow, 1);
  MailboxReset();
}

TEST(Mailbox, BadSideNumbersAreReported) {
  MailboxReset();
  ExpectAsserts asserts;
  MailboxPost(2, Numbered(1));
  Packet out;
  EXPECT_FALSE(MailboxReceive(-1, &out));
  EXPECT_EQ(asserts.Count(), 2);
  EXPECT_FALSE(MailboxReceive(c_mailboxVis, &out));
  EXPECT_FALSE(MailboxReceive(c_mailboxSim, &out));
}

// Every message the display sends reads back on the simulation's side with the numbers and the
// name it was built with; a number too big for 32 bits reads the same (clamped) on both sides.
TEST(MessageCodec, BuiltMessagesReadBackAsBuilt) {
  char text[256];
  MessageLeftClick(text, sizeof(text), 1, 0, 430, -1, 0, 1, 0);
  EXPECT_STREQ(text, "leftclick down=1 moved=0 tile=430 actor=-1 modalt=0 modctl=1 modshf=0");
  const struct {
    const char* key;
    int32_t value;
  } click[] = {{"down", 1}, {"moved", 0}, {"tile", 430}, {"actor", -1}, {"modalt", 0}, {"modctl", 1}, {"modshf", 0}};
  for (const auto& c : click) EXPECT_EQ(MessageIntValue(text, c.key), c.value) << c.key;
  MessagePlayerAction(text, sizeof(text), "drop_lumber");
  char word[64];
  EXPECT_EQ(MessageWordValue(text, "name", word, sizeof(word)), 11);
  EXPECT_STREQ(word, "drop_lumber");
  MessagePlayerSpeak(text, sizeof(text), -2);
  EXPECT_EQ(MessageIntValue(text, "line"), -2);
  MessageSimSpeed(text, sizeof(text), 1, 0);
  EXPECT_STREQ(text, "simspeed accelerated=1 musicff=0");
  EXPECT_EQ(MessageIntValue("soundeffect name=x tile=99999999999", "tile"), INT32_MAX);
  EXPECT_EQ(MessageIntValue("soundeffect name=x tile=-99999999999", "tile"), INT32_MIN);
  EXPECT_EQ(MessageValue("soundeffect name=x tile=", "tile"), nullptr);
}

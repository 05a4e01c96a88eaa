// FixedString: the 254-character cut, appends at the limit, formatting, chops and base names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_support.h"
#include "utility/fixed_string.h"

namespace {
// The bytes behind the NUL must be zero after Set, Clear, Format and SetBaseName, or a
// saved name would carry stale text into the file.
bool TailZero(const FixedString& s) {
  for (int i = s.Length() + 1; i < 255; i++)
    if (s.m_text[i] != 0) return false;
  return true;
}
}  // namespace

TEST(FixedString, SetCutsAt254AndClearsTheTail) {
  std::string longText(300, 'x');
  FixedString s;
  s.Set(longText.c_str());
  EXPECT_EQ(s.Length(), 254);
  EXPECT_EQ(std::string(s.c_str()), longText.substr(0, 254));
  EXPECT_EQ(s.m_text[254], 0);

  s.Set("abc");
  EXPECT_EQ(s.Length(), 3);
  EXPECT_STREQ(s.c_str(), "abc");
  EXPECT_TRUE(TailZero(s));

  s.Set(nullptr);
  EXPECT_EQ(s.Length(), 0);
  EXPECT_STREQ(s.c_str(), "");

  std::string exact(254, 'y');
  s.Set(exact.c_str());
  EXPECT_EQ(s.Length(), 254);
  EXPECT_EQ(std::string(s.c_str()), exact);

  // The record is stored raw: byte 0 is the length, the text starts at byte 1.
  FixedString t("hi");
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(&t);
  EXPECT_EQ(raw[0], 2);
  EXPECT_EQ(raw[1], 'h');
  EXPECT_EQ(raw[3], 0);
}

TEST(FixedString, AppendStopsAt254) {
  FixedString s;
  s.Set(std::string(252, 'a').c_str());
  s.Append("xyz");
  EXPECT_EQ(s.Length(), 254);
  EXPECT_EQ(s.c_str()[252], 'x');
  EXPECT_EQ(s.c_str()[253], 'y');
  EXPECT_EQ(s.m_text[254], 0);

  FixedString full = s;
  s.Append("more");
  EXPECT_EQ(memcmp(&s, &full, sizeof(s)), 0);

  FixedString t("ab");
  t.Append(nullptr);
  t.Append("");
  t.Append("cd");
  EXPECT_STREQ(t.c_str(), "abcd");
  EXPECT_EQ(t.Length(), 4);

  // A length byte damaged in a file must not let an append write past the record.
  FixedString bad;
  memset(static_cast<void*>(&bad), 'q', sizeof(bad));
  bad.m_length = 255;
  bad.Append("z");
  EXPECT_EQ(bad.Length(), 254);
  EXPECT_EQ(bad.m_text[254], 0);
}

TEST(FixedString, FormatCutsAndReportsLength) {
  FixedString s;
  const char* out = s.Format("%s-%d", std::string(300, 'f').c_str(), 7);
  EXPECT_EQ(out, s.c_str());
  EXPECT_EQ(s.Length(), 254);
  EXPECT_EQ(strlen(s.c_str()), 254u);

  s.Format("tile=%d actor=%d", 12, -1);
  EXPECT_STREQ(s.c_str(), "tile=12 actor=-1");
  EXPECT_EQ(s.Length(), 16);
  EXPECT_TRUE(TailZero(s));

  // 254 characters fit exactly, 255 are cut.
  s.Format("%s", std::string(254, 'e').c_str());
  EXPECT_EQ(s.Length(), 254);
  s.Format("%s", std::string(255, 'e').c_str());
  EXPECT_EQ(s.Length(), 254);
  s.Format("%s", "");
  EXPECT_EQ(s.Length(), 0);
}

TEST(FixedString, ChopAndReplace) {
  FixedString s("abc");
  s.Chop(0);
  EXPECT_STREQ(s.c_str(), "abc");
  s.Chop(1);
  EXPECT_STREQ(s.c_str(), "ab");
  EXPECT_EQ(s.Length(), 2);
  s.Chop(5);
  EXPECT_STREQ(s.c_str(), "");
  EXPECT_EQ(s.Length(), 0);

  // A negative count is a caller fault: it is reported and changes nothing, rather
  // than growing the string over the bytes behind it.
  FixedString t("abc");
  {
    ExpectAsserts asserts;
    t.Chop(-2);
    EXPECT_EQ(asserts.Count(), 1);
  }
  EXPECT_STREQ(t.c_str(), "abc");
  EXPECT_EQ(t.Length(), 3);

  // Replace touches only the characters: the NUL and the stale bytes behind a chop stay.
  FixedString r("a.b.c.d");
  r.Chop(2);  // "a.b.c", with ".d" still behind the NUL
  r.Replace('.', '_');
  EXPECT_STREQ(r.c_str(), "a_b_c");
  EXPECT_EQ(r.m_text[5], 0);
  EXPECT_EQ(r.m_text[6], 'd');
  r.Replace('\0', 'x');
  EXPECT_EQ(r.m_text[5], 0);
}

TEST(FixedString, BaseNames) {
  FixedString s;
  EXPECT_STREQ(s.SetBaseName("data/props/stone.geo"), "stone");
  EXPECT_STREQ(s.SetBaseName("data/buildings/depot.geo"), "depot");
  EXPECT_STREQ(s.SetBaseName("a.b/c"), "c");
  EXPECT_STREQ(s.SetBaseName("data/props/readme"), "readme");
  // Without a slash the first character is kept.
  EXPECT_STREQ(s.SetBaseName("stone.geo"), "stone");
  EXPECT_STREQ(s.SetBaseName("stone"), "stone");
  EXPECT_STREQ(s.SetBaseName("archive.tar.gz"), "archive.tar");
  EXPECT_STREQ(s.SetBaseName("dir/"), "");
  EXPECT_STREQ(s.SetBaseName("dir/.hidden"), "");
  EXPECT_STREQ(s.SetBaseName(nullptr), "");
  s.SetBaseName((std::string(300, 'n') + ".geo").c_str());
  EXPECT_EQ(s.Length(), 254);
  s.SetBaseName("x/ab.c");
  EXPECT_EQ(s.Length(), 2);
  EXPECT_TRUE(TailZero(s));
}

TEST(FixedString, RepairMakesLoadedRecordsSafe) {
  FixedString s("name");
  EXPECT_TRUE(s.Repair());
  EXPECT_STREQ(s.c_str(), "name");

  FixedString bad;
  memset(static_cast<void*>(&bad), 'z', sizeof(bad));
  EXPECT_FALSE(bad.Repair());
  EXPECT_EQ(bad.Length(), 254);
  EXPECT_EQ(strlen(bad.c_str()), 254u);

  FixedString wrongLength("abc");
  wrongLength.m_length = 40;
  EXPECT_FALSE(wrongLength.Repair());
  EXPECT_EQ(wrongLength.Length(), 3);
  EXPECT_TRUE(wrongLength.Equals("abc"));
  EXPECT_FALSE(wrongLength.Equals(nullptr));
}

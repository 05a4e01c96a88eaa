// KeyVal: the settings text format, its 1024-byte limit and loading of "settings.dat" bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_support.h"
#include "utility/keyval.h"

TEST(KeyVal, EmptyStoreGivesDefaults) {
  KeyVal kv;
  char out[16];
  EXPECT_FALSE(kv.GetString("Debug", out, sizeof(out), "dflt"));
  EXPECT_STREQ(out, "dflt");
  EXPECT_FALSE(kv.GetString("Debug", out, 3, "dflt"));
  EXPECT_STREQ(out, "df");
  EXPECT_FALSE(kv.GetString("Debug", out, sizeof(out), nullptr));
  EXPECT_STREQ(out, "");
  EXPECT_EQ(kv.GetInt("Debug", 42), 42);
  EXPECT_FLOAT_EQ(kv.GetFloat("AudVolume", 0.8f), 0.8f);
  EXPECT_EQ(kv.TextLength(), 0);
  EXPECT_STREQ(kv.GetText(), "");
}

TEST(KeyVal, SetReplaceRemove) {
  KeyVal kv;
  kv.SetFloat("AudMusic", 0.7f);
  EXPECT_STREQ(kv.GetText(), "\\AudMusic\\0.7");
  EXPECT_EQ(kv.GetFloat("AudMusic", 0.0f), 0.7f);

  kv.SetInt("Debug", 0);
  kv.SetFloat("AudVolume", 1.0f);
  EXPECT_STREQ(kv.GetText(), "\\AudMusic\\0.7\\Debug\\0\\AudVolume\\1");
  // A changed key moves to the end and keeps one pair.
  kv.SetInt("AudMusic", 3);
  EXPECT_STREQ(kv.GetText(), "\\Debug\\0\\AudVolume\\1\\AudMusic\\3");
  EXPECT_EQ(kv.GetInt("AudMusic", -1), 3);

  // An empty value removes the key and adds nothing.
  kv.SetString("AudVolume", "");
  EXPECT_STREQ(kv.GetText(), "\\Debug\\0\\AudMusic\\3");
  kv.SetString("Debug", nullptr);
  EXPECT_STREQ(kv.GetText(), "\\AudMusic\\3");
  kv.Remove("AudMusic");
  EXPECT_STREQ(kv.GetText(), "");
  kv.Remove("AudMusic");
  kv.Remove(nullptr);

  // GetString cuts to the out size and still reports presence.
  kv.SetString("Name", "12345");
  char out[4];
  EXPECT_TRUE(kv.GetString("Name", out, sizeof(out), "x"));
  EXPECT_STREQ(out, "123");

  // Text atoi cannot read gives 0, not the default.
  kv.SetString("VidVsync", "abc");
  EXPECT_EQ(kv.GetInt("VidVsync", 7), 0);
  kv.SetString("VidVsync", "12abc");
  EXPECT_EQ(kv.GetInt("VidVsync", 7), 12);
  kv.SetString("VidVsync", "99999999999999");
  EXPECT_EQ(kv.GetInt("VidVsync", 7), 2147483647);
  kv.SetString("VidVsync", "-99999999999999");
  EXPECT_EQ(kv.GetInt("VidVsync", 7), -2147483647 - 1);
}

TEST(KeyVal, KeysAreMatchedWholeAndInPairs) {
  KeyVal kv;
  // A value that spells another key's name must not be taken for that key, and a key
  // that ends another key's name must not match it.
  kv.SetString("MusicFF", "Debug");
  kv.SetString("Debug", "1");
  EXPECT_EQ(kv.GetInt("Debug", -1), 1);
  kv.Remove("Debug");
  EXPECT_STREQ(kv.GetText(), "\\MusicFF\\Debug");
  EXPECT_EQ(kv.GetInt("Debug", -1), -1);
  kv.SetInt("VidVsync", 1);
  EXPECT_EQ(kv.GetInt("Vsync", -1), -1);
  EXPECT_EQ(kv.GetInt("VidVsync", -1), 1);

  // Backslashes would break the text into wrong pairs: refused, text unchanged.
  std::string before = kv.GetText();
  kv.SetString("Bad\\Key", "1");
  kv.SetString("Key", "va\\lue");
  kv.SetString("", "1");
  EXPECT_EQ(std::string(kv.GetText()), before);
}

TEST(KeyVal, BufferLimit) {
  // "\K\" is 3 characters, so a value of 1020 makes the text exactly 1023 long.
  {
    KeyVal kv;
    kv.SetString("K", std::string(1020, 'v').c_str());
    EXPECT_EQ(kv.TextLength(), 1023);
    char out[1024];
    EXPECT_TRUE(kv.GetString("K", out, sizeof(out), nullptr));
    EXPECT_EQ(strlen(out), 1020u);
  }
  {
    KeyVal kv;
    ExpectAsserts asserts;
    kv.SetString("K", std::string(1021, 'v').c_str());
    EXPECT_TRUE(asserts.Saw("newLen < c_bufferLimit"));
    EXPECT_EQ(kv.TextLength(), 0);
  }
  {
    // A refused pair leaves the key removed and the rest of the text as it was.
    KeyVal kv;
    kv.SetInt("Debug", 1);
    kv.SetInt("MouseTilt", 1);
    ExpectAsserts asserts;
    kv.SetString("Debug", std::string(1015, 'v').c_str());
    EXPECT_EQ(asserts.Count(), 1);
    EXPECT_STREQ(kv.GetText(), "\\MouseTilt\\1");
  }
  {
    // A pair longer than the whole buffer must be refused, not cut and stored.
    KeyVal kv;
    ExpectAsserts asserts;
    kv.SetString("K", std::string(5000, 'v').c_str());
    EXPECT_EQ(asserts.Count(), 1);
    EXPECT_EQ(kv.TextLength(), 0);
  }
  {
    // The largest value GetInt and GetFloat look at is 255 characters.
    KeyVal kv;
    kv.SetString("N", (std::string(255, '0') + "9").c_str());
    EXPECT_EQ(kv.GetInt("N", -1), 0);
  }
}

TEST(KeyVal, LoadingFileBytes) {
  KeyVal kv;
  kv.SetString("Long", std::string(500, 'L').c_str());
  // A short file without a NUL used to leave the earlier text behind the bytes read.
  const char file[] = "\\Debug\\1";
  kv.SetText(file, 8);
  EXPECT_STREQ(kv.GetText(), "\\Debug\\1");
  EXPECT_EQ(kv.GetInt("Debug", 0), 1);
  EXPECT_EQ(kv.GetInt("Long", -1), -1);

  // A file as written: the text and its NUL.
  kv.SetText("\\SunCycle\\0", 12);
  EXPECT_EQ(kv.GetInt("SunCycle", 5), 0);
  EXPECT_EQ(kv.TextLength(), 11);

  // 1023 bytes without a NUL are kept whole; at 1024 and beyond the last is dropped.
  std::string big = "\\K\\" + std::string(1020, 'a');
  kv.SetText(big.c_str(), 1023);
  EXPECT_EQ(kv.TextLength(), 1023);
  std::string bigger = big + "bcdef";
  kv.SetText(bigger.c_str(), 1024);
  EXPECT_EQ(kv.TextLength(), 1023);
  kv.SetText(bigger.c_str(), static_cast<int>(bigger.size()));
  EXPECT_EQ(kv.TextLength(), 1023);
  EXPECT_EQ(kv.GetText()[1022], 'a');

  kv.SetText(nullptr, 10);
  EXPECT_EQ(kv.TextLength(), 0);
  kv.SetText(file, -1);
  EXPECT_EQ(kv.TextLength(), 0);

  // Garbage before the first pair and a key with no value do not upset queries.
  const char junk[] = "junk\\AudVolume\\0.5\\Dangling";
  kv.SetText(junk, sizeof(junk));
  EXPECT_FLOAT_EQ(kv.GetFloat("AudVolume", 1.0f), 0.5f);
  EXPECT_EQ(kv.GetInt("Dangling", 9), 9);
  EXPECT_STREQ(kv.GetText(), "junk\\AudVolume\\0.5");
  kv.SetInt("MouseTilt", 1);
  EXPECT_EQ(kv.GetInt("MouseTilt", 0), 1);
}

TEST(KeyVal, HandEditedFilesWithRepeatedKeysAndEmptyValues) {
  // A key written twice: setting it removes both pairs, so the new value is the one read.
  KeyVal kv;
  const char twice[] = "\\Debug\\1\\AudVolume\\0.5\\Debug\\2";
  kv.SetText(twice, sizeof(twice));
  EXPECT_EQ(kv.GetInt("Debug", 0), 1);
  kv.SetInt("Debug", 7);
  EXPECT_EQ(kv.GetInt("Debug", 0), 7);
  EXPECT_STREQ(kv.GetText(), "\\AudVolume\\0.5\\Debug\\7");
  kv.SetText(twice, sizeof(twice));
  kv.Remove("Debug");
  EXPECT_STREQ(kv.GetText(), "\\AudVolume\\0.5");

  // An empty value reads as absent: the default, not 0 (in the middle and at the end).
  const char empty[] = "\\Debug\\\\AudVolume\\0.5\\SunCycle\\";
  kv.SetText(empty, sizeof(empty));
  char out[8];
  EXPECT_FALSE(kv.GetString("Debug", out, sizeof(out), "d"));
  EXPECT_STREQ(out, "d");
  EXPECT_EQ(kv.GetInt("Debug", 4), 4);
  EXPECT_FLOAT_EQ(kv.GetFloat("AudVolume", 1.0f), 0.5f);
  EXPECT_EQ(kv.GetInt("SunCycle", 3), 3);
  kv.SetInt("Debug", 1);
  EXPECT_EQ(kv.GetInt("Debug", 4), 1);
}

// Options: defaults, the round trip through "settings.dat", and damaged files.
#include "graphics/ui/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "captured_log.h"
#include "graphics/gui_fixture.h"
#include "system/file.h"
#include "utility/keyval.h"

namespace {

const char* const c_keys[] = {"Debug",    "VidVsync", "VidSRGB",   "AudVolume",
                              "AudMusic", "MusicFF",  "MouseTilt", "SunCycle"};

void WriteSettings(const std::string& text, bool withNul = true) {
  FileHandle f = FileOpenWrite("settings.dat", true);
  ASSERT_NE(f, 0u);
  FileWrite(f, text.data(), text.size() + (withNul ? 1 : 0));
  FileClose(f);
}

std::string ReadSettings() {
  char bytes[2048] = {};
  FileHandle f = FileOpenRead("settings.dat", true);
  size_t n = FileRead(f, bytes, sizeof(bytes) - 1);
  FileClose(f);
  return std::string(bytes, n);
}

bool SameOptions(const Options& a, const Options& b) {
  return a.m_vsync == b.m_vsync && a.m_srgb == b.m_srgb && a.m_masterVolume == b.m_masterVolume &&
         a.m_musicVolume == b.m_musicVolume && a.m_musicFF == b.m_musicFF && a.m_mouseTilt == b.m_mouseTilt &&
         a.m_sunCycle == b.m_sunCycle && a.m_debugFlags == b.m_debugFlags;
}

class OptionsFile : public testing::Test {
 protected:
  void SetUp() override {
    UseGuiFolders();
    FileRemove("settings.dat", true);
  }
};

TEST_F(OptionsFile, FirstSaveWritesEveryKeyWithItsDefault) {
  KeyVal store;
  Options o;
  o.m_vsync = 0;  // whatever the record held, a missing file gives the defaults
  OptionsLoad(&store, &o);
  EXPECT_TRUE(SameOptions(o, Options()));
  ASSERT_TRUE(OptionsSave(&store, o));
  std::string text = ReadSettings();
  EXPECT_EQ(text, std::string("\\Debug\\0\\VidVsync\\1\\VidSRGB\\1\\AudVolume\\1\\AudMusic\\0.7\\MusicFF\\1"
                              "\\MouseTilt\\0\\SunCycle\\0") +
                      '\0');
}

TEST_F(OptionsFile, OnlyVsyncOffKeepsTheOtherDefaults) {
  WriteSettings("\\VidVsync\\0");
  KeyVal store;
  Options o;
  OptionsLoad(&store, &o);
  Options expected;
  expected.m_vsync = 0;
  EXPECT_TRUE(SameOptions(o, expected));
}

TEST_F(OptionsFile, ChangedOptionsSurviveTheRoundTrip) {
  Options o;
  o.m_vsync = 0;
  o.m_srgb = 0;
  o.m_masterVolume = 0.3f;
  o.m_musicVolume = 0.0f;
  o.m_musicFF = 0;
  o.m_mouseTilt = 1;
  o.m_sunCycle = 1;
  o.m_debugFlags = DF_FPS | DF_MESSAGES;
  o.m_quitRequested = 1;
  KeyVal store;
  ASSERT_TRUE(OptionsSave(&store, o));
  KeyVal again;
  Options back;
  OptionsLoad(&again, &back);
  EXPECT_TRUE(SameOptions(back, o));
  EXPECT_EQ(back.m_quitRequested, 0) << "the quit flag is never stored";
}

// Every damaged value gives that option's default, never a stale or clamped value, with one
// line naming the key; the file written back holds each key exactly once.
TEST_F(OptionsFile, DamagedValuesGiveDefaultsAndTheFileIsRepaired) {
  struct Case {
    const char* text;
    const char* key;
  };
  const Case cases[] = {
      {"\\VidVsync\\0\\VidVsync\\0", "VidVsync"},  // repeated, even with the same value
      {"\\AudMusic\\0.2\\Debug\\1\\AudMusic\\0.4", "AudMusic"},
      {"\\Debug\\\\VidSRGB\\1", "Debug"},  // empty value
      {"\\AudVolume\\1.5", "AudVolume"},   // out of range
      {"\\AudVolume\\-0.1", "AudVolume"},
      {"\\AudMusic\\nan", "AudMusic"},
      {"\\AudMusic\\inf", "AudMusic"},
      {"\\AudVolume\\1e40", "AudVolume"},
      {"\\Debug\\8", "Debug"},
      {"\\Debug\\-1", "Debug"},
      {"\\MouseTilt\\2", "MouseTilt"},
      {"\\SunCycle\\1x", "SunCycle"},  // trailing junk
      {"\\MusicFF\\abc", "MusicFF"},
      {"\\VidSRGB\\99999999999999999999", "VidSRGB"},  // beyond the int range
      {"\\VidVsync\\ 0", "VidVsync"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteSettings(c.text);
    KeyVal store;
    Options o;
    CapturedLog log;
    OptionsLoad(&store, &o);
    Options d;
    if (!strcmp(c.key, "VidVsync")) {
      EXPECT_EQ(o.m_vsync, d.m_vsync);
    }
    if (!strcmp(c.key, "VidSRGB")) {
      EXPECT_EQ(o.m_srgb, d.m_srgb);
    }
    if (!strcmp(c.key, "AudVolume")) {
      EXPECT_EQ(o.m_masterVolume, d.m_masterVolume);
    }
    if (!strcmp(c.key, "AudMusic")) {
      EXPECT_EQ(o.m_musicVolume, d.m_musicVolume);
    }
    if (!strcmp(c.key, "Debug")) {
      EXPECT_EQ(o.m_debugFlags, d.m_debugFlags);
    }
    if (!strcmp(c.key, "MouseTilt")) {
      EXPECT_EQ(o.m_mouseTilt, d.m_mouseTilt);
    }
    if (!strcmp(c.key, "SunCycle")) {
      EXPECT_EQ(o.m_sunCycle, d.m_sunCycle);
    }
    if (!strcmp(c.key, "MusicFF")) {
      EXPECT_EQ(o.m_musicFF, d.m_musicFF);
    }
    EXPECT_TRUE(log.Has((std::string("Setting '") + c.key + "'").c_str()));
    ASSERT_TRUE(OptionsSave(&store, o));
    KeyVal written;
    std::string text = ReadSettings();
    written.SetText(text.data(), static_cast<int>(text.size()));
    for (const char* key : c_keys) EXPECT_EQ(OptionsKeyCount(written, key), 1) << key;
    Options back;
    OptionsRead(written, &back);
    EXPECT_TRUE(SameOptions(back, o));
  }
  // The sound keys of the repeated case are read as they stand.
  WriteSettings("\\AudMusic\\0.2\\Debug\\5\\AudMusic\\0.4");
  KeyVal store;
  Options o;
  OptionsLoad(&store, &o);
  EXPECT_EQ(o.m_debugFlags, 5);
  EXPECT_FLOAT_EQ(o.m_musicVolume, 0.7f);
}

TEST_F(OptionsFile, AFileLongerThanTheStoreIsCutAndStillRead) {
  std::string text = "\\MouseTilt\\1";
  while (text.size() < 1500) text += "\\Padding" + std::to_string(text.size()) + "\\x";
  text += "\\SunCycle\\1";  // beyond the first 1024 bytes: never seen
  WriteSettings(text, false);
  KeyVal store;
  Options o;
  OptionsLoad(&store, &o);
  EXPECT_EQ(o.m_mouseTilt, 1);
  EXPECT_EQ(o.m_sunCycle, 0);
  ASSERT_TRUE(OptionsSave(&store, o));
  EXPECT_EQ(ReadSettings().find("Padding"), std::string::npos);
}

}  // namespace

namespace {

// "settings.dat" is replaced as the save is: a link at its name (or at the temporary name) is
// never written through, a failed write keeps the old options, and no temporary file stays.
TEST_F(OptionsFile, SavingReplacesTheFileAndNeverWritesThroughALink) {
  const std::string user = UserFolderGet();
  const std::string outside = TestTempFolder("outside") + "/settings.txt";
  std::ofstream(outside) << "keep me";
  KeyVal store;
  Options o;
  o.m_mouseTilt = 1;
  for (const char* name : {"settings.dat", "settings.dat.tmp"}) {
    SCOPED_TRACE(name);
    FileRemove("settings.dat", true);
    std::filesystem::create_symlink(outside, user + "/" + name);
    ASSERT_TRUE(OptionsSave(&store, o));
    EXPECT_FALSE(std::filesystem::is_symlink(user + "/settings.dat"));
    EXPECT_FALSE(std::filesystem::exists(user + "/settings.dat.tmp"));
    EXPECT_NE(ReadSettings().find("\\MouseTilt\\1"), std::string::npos);
    std::ifstream in(outside);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), "keep me");
  }
  // Nowhere to write the new file: the old options stay.
  std::filesystem::create_directory(user + "/settings.dat.tmp");
  o.m_mouseTilt = 0;
  EXPECT_FALSE(OptionsSave(&store, o));
  EXPECT_NE(ReadSettings().find("\\MouseTilt\\1"), std::string::npos);
  std::filesystem::remove(user + "/settings.dat.tmp");
  std::filesystem::remove(outside);
}

}  // namespace

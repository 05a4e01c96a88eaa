// Overlay without a window: the log rings under several threads, the window list, the frame counter and the information
// windows.
#include "graphics/ui/overlay.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "graphics/gui_fixture.h"
#include "utility/log.h"

namespace {

TEST(LogRings, ConsoleKeepsTheLast23LinesOldestFirst) {
  LogRingsReset();
  FixedString lines[c_consoleRingSize - 1];
  for (int i = 1; i <= 3; i++) ConsoleLog("line %d", i);
  ConsoleLines(lines);
  for (int i = 0; i < 20; i++) EXPECT_TRUE(lines[i].Empty()) << i;
  EXPECT_STREQ(lines[20].c_str(), "line 1");
  EXPECT_STREQ(lines[22].c_str(), "line 3");
  for (int i = 4; i <= 30; i++) ConsoleLog("line %d", i);
  ConsoleLines(lines);
  for (int i = 0; i < 23; i++) EXPECT_EQ(std::string(lines[i].c_str()), "line " + std::to_string(8 + i));
  // A line longer than the ring's lines is cut, never spilled.
  std::string longLine(600, 'x');
  ConsoleLog("%s", longLine.c_str());
  ConsoleLines(lines);
  EXPECT_EQ(lines[22].Length(), FixedString::c_maxLength);
}

TEST(LogRings, MessagesKeepTheLastNine) {
  LogRingsReset();
  FixedString lines[c_messageRingSize];
  for (int i = 1; i <= 12; i++) MessageLog("message %d", i);
  MessageLines(lines);
  for (int i = 0; i < 9; i++) EXPECT_EQ(std::string(lines[i].c_str()), "message " + std::to_string(4 + i));
}

// Every thread logs; while they do, the main thread reads the rings as the windows would.
// Each line read must be one whole line that some thread wrote, never a mix of two.
TEST(LogRings, ManyThreadsLoggingLeaveWholeLines) {
  UseGuiFolders();
  LogRingsReset();
  Overlay overlay(true);
  FILE* quiet = fopen("/dev/null", "w");
  FILE* saved = stdout;
  stdout = quiet;  // thousands of lines would drown the test output
  constexpr int c_threads = 4, c_lines = 2000;
  auto writer = [](int t) {
    char pad[120];
    memset(pad, 'a' + t, sizeof(pad) - 1);
    pad[sizeof(pad) - 1] = 0;
    for (int i = 0; i < c_lines; i++) LogEvent("t%d n%d %s", t, i, pad);
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < c_threads; t++) threads.emplace_back(writer, t);
  auto whole = [](const FixedString& s) {
    int t = -1, n = -1;
    char rest[200] = {};
    if (sscanf(s.c_str(), "t%d n%d %199s", &t, &n, rest) != 3) return false;
    if (t < 0 || t >= c_threads || n < 0 || n >= c_lines || strlen(rest) != 119) return false;
    for (const char* p = rest; *p; p++)
      if (*p != 'a' + t) return false;
    return true;
  };
  FixedString console[c_consoleRingSize - 1];
  FixedString messages[c_messageRingSize];
  int bad = 0;
  for (int k = 0; k < 300; k++) {
    ConsoleLines(console);
    MessageLines(messages);
    for (const FixedString& s : console) bad += !s.Empty() && !whole(s);
    for (const FixedString& s : messages) bad += !s.Empty() && !whole(s);
  }
  for (std::thread& th : threads) th.join();
  stdout = saved;
  fclose(quiet);
  EXPECT_EQ(bad, 0);
  ConsoleLines(console);
  std::set<std::string> seen;
  for (const FixedString& s : console) {
    EXPECT_TRUE(whole(s)) << s.c_str();
    seen.insert(s.c_str());
  }
  EXPECT_EQ(seen.size(), 23u) << "23 distinct lines";
  // After the threads, the last nine player-facing lines are exactly the main thread's nine.
  for (int i = 0; i < 9; i++) LogEvent("main %d", i);
  MessageLines(messages);
  for (int i = 0; i < 9; i++) EXPECT_EQ(std::string(messages[i].c_str()), "main " + std::to_string(i));
}

TEST(OverlayHooks, InstalledByTheOverlayAndRemovedWithIt) {
  UseGuiFolders();
  {
    Overlay overlay(true);
    EXPECT_EQ(consoleHook, &ConsoleLog);
    EXPECT_EQ(messageHook, &MessageLog);
  }
  EXPECT_EQ(consoleHook, nullptr);
  EXPECT_EQ(messageHook, nullptr);
}

class OverlayFrame : public testing::Test {
 protected:
  void SetUp() override {
    UseGuiFolders();
    m_overlay = std::make_unique<Overlay>(true);
  }
  void Frame() {
    m_overlay->InputBegin();
    m_overlay->InputEnd();
    m_overlay->Draw(1280, 720);
  }
  // The rectangle of the window built n-th in the last frame.
  std::vector<float> Rect(int n) {
    const float* r = m_overlay->WindowRect(n);
    return r ? std::vector<float>(r, r + 4) : std::vector<float>();
  }
  std::unique_ptr<Overlay> m_overlay;
};

TEST_F(OverlayFrame, WindowListTogglesAndEscapeClosesTheNewest) {
  Overlay& o = *m_overlay;
  o.ToggleWindow(Overlay::WIN_CONSOLE);
  o.ToggleWindow(Overlay::WIN_DEBUG);
  o.ToggleWindow(7);  // no such window
  EXPECT_EQ(o.WindowCount(), 2);
  // Grave closes the console and leaves the debug window.
  o.ToggleWindow(Overlay::WIN_CONSOLE);
  EXPECT_EQ(o.WindowCount(), 1);
  EXPECT_TRUE(o.IsWindowOpen(Overlay::WIN_DEBUG));
  // Escape closes the debug window and is taken; the next one reaches the game.
  EXPECT_EQ(o.KeyEvent(41, 0, nullptr, true, 0, 0), 1);
  EXPECT_EQ(o.WindowCount(), 0);
  EXPECT_EQ(o.KeyEvent(41, 0, nullptr, true, 0, 0), 0);
  // The newest of three goes first; the others keep their order.
  o.ToggleWindow(Overlay::WIN_OPTIONS);
  o.ToggleWindow(Overlay::WIN_DEBUG);
  o.ToggleWindow(Overlay::WIN_CONSOLE);
  EXPECT_EQ(o.KeyEvent(41, 0, nullptr, false, 0, 0), 0) << "only a press closes";
  EXPECT_EQ(o.KeyEvent(41, 0, nullptr, true, 0, 0), 1);
  EXPECT_FALSE(o.IsWindowOpen(Overlay::WIN_CONSOLE));
  o.CloseWindow(Overlay::WIN_OPTIONS);
  EXPECT_EQ(o.WindowCount(), 1);
  EXPECT_TRUE(o.IsWindowOpen(Overlay::WIN_DEBUG));
  Frame();
  EXPECT_EQ(Rect(0), (std::vector<float>{964, 574, 300, 130}));
}

TEST_F(OverlayFrame, WindowsStandWhereTheyBelong) {
  Overlay& o = *m_overlay;
  o.ToggleWindow(Overlay::WIN_CONSOLE);
  o.ToggleWindow(Overlay::WIN_OPTIONS);
  o.GetOptions().m_debugFlags = DF_FPS | DF_MESSAGES;
  Frame();
  ASSERT_EQ(o.WindowRectCount(), 4);
  EXPECT_EQ(Rect(0), (std::vector<float>{0, 0, 500, 390}));
  EXPECT_EQ(Rect(1), (std::vector<float>{490, 170, 300, 380}));  // centred
  EXPECT_EQ(Rect(2), (std::vector<float>{1204, 644, 60, 60}));
  EXPECT_EQ(Rect(3), (std::vector<float>{16, 468, 512, 236}));
}

TEST_F(OverlayFrame, FrameRateReadsSixtyEveryHalfSecond) {
  for (int i = 0; i < 30; i++) m_overlay->CountFrame(1.0f / 60.0f);
  for (int half = 0; half < 4; half++) {
    for (int i = 0; i < 30; i++) m_overlay->CountFrame(1.0f / 60.0f);
    EXPECT_STREQ(m_overlay->FpsText(), "60");
  }
}

TEST_F(OverlayFrame, ActorWindowFollowsThePlanAndForgetsAGoneWorld) {
  Overlay& o = *m_overlay;
  // The world's arrays, freed before the next frame as a deleted world would be.
  auto names = std::make_unique<const char*[]>(4);
  names[0] = "walkto";
  names[1] = "cuttree";
  names[2] = nullptr;  // a hole never crashes the window
  names[3] = "pickuplumber";
  auto size = std::make_unique<int32_t>(4);
  auto stage = std::make_unique<int32_t>(-1);
  o.SetActorInfo("Grumbold", names.get(), 4, size.get(), stage.get());
  Frame();
  ASSERT_EQ(o.WindowRectCount(), 1);
  EXPECT_EQ(Rect(0), (std::vector<float>{16, 16, 200, 72})) << "<Busy Planning> is one line";
  *stage = 2;
  Frame();
  EXPECT_EQ(Rect(0), (std::vector<float>{16, 16, 200, 4 * 14 + 58}));
  // A size beyond the step array or below zero is never read past.
  *size = 1000;
  Frame();
  EXPECT_EQ(Rect(0)[3], 4 * 14 + 58);
  *size = -1;
  Frame();
  EXPECT_EQ(Rect(0)[3], 58);
  o.WorldGone();
  names.reset();
  size.reset();
  stage.reset();
  EXPECT_FALSE(o.HasActorInfo());
  Frame();
  EXPECT_EQ(o.WindowRectCount(), 0);
}

TEST_F(OverlayFrame, TileWindowNeedsItsSwitchAndItsLines) {
  Overlay& o = *m_overlay;
  FixedString lines[3] = {FixedString("tile 5"), FixedString("type 2"), FixedString("landmark")};
  int32_t count = 3;
  o.SetTileInfo(lines, &count);
  Frame();
  EXPECT_EQ(o.WindowRectCount(), 0) << "the Tile info switch is off";
  o.GetOptions().m_debugFlags = DF_TILE_INFO;
  EXPECT_TRUE(o.DebugFlag(1));
  Frame();
  ASSERT_EQ(o.WindowRectCount(), 1);
  EXPECT_EQ(Rect(0), (std::vector<float>{1080, 16, 184, 3 * 14 + 58}));
}

// A message longer than the window is wide wraps: every letter of it is drawn, the window grows
// upward from its foot, and a short one keeps the window as it was.
TEST_F(OverlayFrame, LongMessagesWrapInsideTheirWindow) {
  Overlay& o = *m_overlay;
  LogRingsReset();
  o.GetOptions().m_debugFlags = DF_MESSAGES;
  Frame();
  const int empty = o.LastConvert().m_vertexCount;
  std::string text;
  for (int i = 0; i < 4; i++) text += "Building site is now level. Commencing construction. ";
  text.pop_back();
  int letters = 0;
  for (char c : text) letters += c != ' ';
  MessageLog("%s", text.c_str());
  Frame();
  ASSERT_FALSE(o.LastConvert().m_cut);
  EXPECT_EQ(o.LastConvert().m_vertexCount - empty, 4 * letters) << "four corners a letter, none cut off";
  ASSERT_EQ(o.WindowRectCount(), 1);
  EXPECT_GT(Rect(0)[3], 236);
  EXPECT_EQ(Rect(0)[1] + Rect(0)[3], 720 - 16);
  // Nine of them cannot all fit on the screen: the newest stay, and the window stays on it.
  for (int i = 0; i < 8; i++) MessageLog("%s", text.c_str());
  Frame();
  EXPECT_GE(Rect(0)[1], 0);
  EXPECT_EQ(Rect(0)[1] + Rect(0)[3], 720 - 16);
  LogRingsReset();
  MessageLog("Stole from Grumbold");
  Frame();
  EXPECT_EQ(Rect(0), (std::vector<float>{16, 468, 512, 236}));
}

TEST(StyleTable, SrgbConversionOfColourBytes) {
  EXPECT_EQ(SrgbByteToLinear(0), 0);
  EXPECT_EQ(SrgbByteToLinear(255), 255);
  EXPECT_EQ(SrgbByteToLinear(10), 0);     // 10/255 = 0.039 < 0.04045: 0.77, truncated
  EXPECT_EQ(SrgbByteToLinear(64), 13);    // ((0.251 + 0.055) / 1.055)^2.4 x 255 = 13.07
  EXPECT_EQ(SrgbByteToLinear(128), 55);   // 55.04
  EXPECT_EQ(SrgbByteToLinear(192), 134);  // 134.0
  uint8_t plain[c_styleColourCount][4], linear[c_styleColourCount][4];
  StyleColourTable(false, plain);
  StyleColourTable(true, linear);
  EXPECT_EQ(plain[1][0], 64);
  EXPECT_EQ(plain[1][3], 192);
  EXPECT_EQ(linear[1][0], SrgbByteToLinear(64));
  EXPECT_EQ(linear[1][3], 192) << "alpha is never converted";
  EXPECT_EQ(plain[27][2], 192);
}

}  // namespace

namespace {

// A minimised window reports 0 x 0 and a tiny one puts windows at negative positions: the
// frame still builds and converts every window, and nothing trips inside ImGui.
TEST_F(OverlayFrame, MinimisedAndTinyWindowsStillBuild) {
  Overlay& o = *m_overlay;
  o.ToggleWindow(Overlay::WIN_CONSOLE);
  o.ToggleWindow(Overlay::WIN_OPTIONS);
  o.ToggleWindow(Overlay::WIN_DEBUG);
  o.GetOptions().m_debugFlags = DF_ALL;
  for (int size : {0, 1, 40, -5}) {
    SCOPED_TRACE(size);
    o.InputBegin();
    o.MouseMotion(3, 3, 1, 1, 0);
    o.InputEnd();
    o.Draw(size, size);
    EXPECT_EQ(o.WindowRectCount(), 5);
    EXPECT_FALSE(o.LastConvert().m_cut);
  }
}

}  // namespace

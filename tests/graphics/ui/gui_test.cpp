// Gui without a window: key rules, input with a fake frame, the fixed-buffer conversion and missing fonts.
#include "graphics/ui/gui.h"

#include <gtest/gtest.h>
#include <imgui.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "captured_log.h"
#include "graphics/gui_fixture.h"
#include "graphics/ui/overlay.h"

namespace {

TEST(GuiKeys, ScancodesFollowTheKeyTable) {
  struct Case {
    int code;
    uint32_t mods;
    bool down;
    int n;
    GuiKeyChange first;
    GuiKeyChange second;
  };
  const uint32_t ctrl = 0x0040, rctrl = 0x0080, shift = 0x0001;
  const Case cases[] = {
      {40, 0, true, 1, {GK_ENTER, true}, {}},
      {42, 0, true, 1, {GK_BACKSPACE, true}, {}},
      {43, 0, false, 1, {GK_TAB, false}, {}},
      {74, 0, true, 1, {GK_TEXT_START, true}, {}},
      {76, 0, true, 1, {GK_DEL, true}, {}},
      {77, 0, true, 1, {GK_TEXT_END, true}, {}},
      {79, 0, true, 2, {GK_TEXT_WORD_RIGHT, false}, {GK_RIGHT, true}},
      {79, ctrl, true, 2, {GK_TEXT_WORD_RIGHT, true}, {GK_RIGHT, false}},
      {80, rctrl, true, 2, {GK_TEXT_WORD_LEFT, true}, {GK_LEFT, false}},
      {80, rctrl, false, 2, {GK_TEXT_WORD_LEFT, false}, {GK_LEFT, false}},
      {225, 0, true, 1, {GK_SHIFT, true}, {}},
      {229, 0, true, 1, {GK_SHIFT, true}, {}},
      {6, 0, true, 1, {GK_COPY, false}, {}},  // C without control: the copy key is up
      {6, ctrl, true, 1, {GK_COPY, true}, {}},
      {6, ctrl, false, 1, {GK_COPY, false}, {}},
      {6, shift, true, 1, {GK_COPY, false}, {}},
      {5, ctrl, true, 1, {GK_TEXT_LINE_START, true}, {}},
      {8, rctrl, true, 1, {GK_TEXT_LINE_END, true}, {}},
      {21, ctrl, true, 1, {GK_TEXT_REDO, true}, {}},
      {25, ctrl, true, 1, {GK_PASTE, true}, {}},
      {27, ctrl, true, 1, {GK_CUT, true}, {}},
      {29, ctrl, true, 1, {GK_TEXT_UNDO, true}, {}},
      {4, ctrl, true, 0, {}, {}},  // A: no select-all key
      {41, 0, true, 0, {}, {}},
      {285, 0, true, 0, {}, {}},
      {-1, 0, true, 0, {}, {}},
      {100000, 0, true, 0, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    GuiKeyChange out[2] = {{-7, false}, {-7, false}};
    ASSERT_EQ(GuiKeyMap(c.code, c.mods, c.down, out), c.n);
    if (c.n >= 1) {
      EXPECT_EQ(out[0].m_key, c.first.m_key);
      EXPECT_EQ(out[0].m_down, c.first.m_down);
    }
    if (c.n == 2) {
      EXPECT_EQ(out[1].m_key, c.second.m_key);
      EXPECT_EQ(out[1].m_down, c.second.m_down);
    }
    if (c.n < 2) {
      EXPECT_EQ(out[1].m_key, -7) << "nothing written past the changes";
    }
  }
}

class GuiFrame : public testing::Test {
 protected:
  void SetUp() override {
    UseGuiFolders();
    LogRingsReset();
    m_gui = std::make_unique<Overlay>(true);
  }
  // One whole frame: input, then windows and conversion.
  template <typename F>
  void Frame(F input) {
    m_gui->InputBegin();
    input();
    m_gui->InputEnd();
    m_gui->Draw(1280, 720);
  }
  void Frame() {
    Frame([] {});
  }
  void MoveTo(float x, float y) { m_gui->MouseMotion(x, y, 1.0f, 1.0f, 0.0f); }
  std::unique_ptr<Overlay> m_gui;
};

TEST_F(GuiFrame, NothingIsTakenAwayFromTheWindows) {
  Frame();  // no window open
  Frame([&] {
    MoveTo(100, 100);
    EXPECT_FALSE(m_gui->IsAnyHovered());
    EXPECT_EQ(m_gui->KeyEvent(c_guiButtonLeft, 0, nullptr, true, 100, 100), 0);
    EXPECT_EQ(m_gui->KeyEvent(6, 0x40, nullptr, true, 100, 100), 0);
    EXPECT_EQ(m_gui->KeyEvent(0, 0, "x", true, 100, 100), 0);
  });
  EXPECT_FALSE(m_gui->ButtonDown(0)) << "a press away from the windows leaves the GUI's input untouched";
  EXPECT_FALSE(m_gui->KeyDown(GK_COPY));
  EXPECT_EQ(m_gui->TextPending(), 0);
}

TEST_F(GuiFrame, ReleasesAwayFromTheWindowsStillReachTheGui) {
  m_gui->ToggleWindow(Overlay::WIN_CONSOLE);  // 0, 0, 500 x 390
  Frame();
  Frame([&] {
    MoveTo(100, 100);
    EXPECT_TRUE(m_gui->IsAnyHovered());
    EXPECT_EQ(m_gui->KeyEvent(c_guiButtonRight, 0, nullptr, true, 100, 100), 1);
    EXPECT_EQ(m_gui->KeyEvent(6, 0x40, nullptr, true, 100, 100), 1);
    EXPECT_EQ(m_gui->KeyEvent(225, 0, nullptr, true, 100, 100), 1);
  });
  EXPECT_TRUE(m_gui->ButtonDown(2));
  EXPECT_TRUE(m_gui->KeyDown(GK_COPY));
  Frame([&] {
    MoveTo(900, 600);
    EXPECT_FALSE(m_gui->IsAnyHovered());
    // Not taken, so the game sees them too, but the GUI lets go all the same.
    EXPECT_EQ(m_gui->KeyEvent(c_guiButtonRight, 0, nullptr, false, 900, 600), 0);
    EXPECT_EQ(m_gui->KeyEvent(6, 0x40, nullptr, false, 900, 600), 0);
    EXPECT_EQ(m_gui->KeyEvent(225, 0, nullptr, false, 900, 600), 0);
  });
  EXPECT_FALSE(m_gui->ButtonDown(2));
  EXPECT_FALSE(m_gui->KeyDown(GK_COPY));
  EXPECT_FALSE(m_gui->KeyDown(GK_SHIFT));
}

TEST_F(GuiFrame, TextWheelAndPointerRules) {
  m_gui->ToggleWindow(Overlay::WIN_CONSOLE);
  Frame();
  m_gui->InputBegin();
  MoveTo(50.7f, 60.2f);
  EXPECT_EQ(m_gui->MouseX(), 50.0f) << "the position is truncated";
  EXPECT_EQ(m_gui->MouseY(), 60.0f);
  // A wheel turn without motion moves only the scroll.
  m_gui->MouseMotion(400, 300, 0, 0, 2.0f);
  EXPECT_EQ(m_gui->MouseX(), 50.0f);
  EXPECT_EQ(m_gui->ScrollPending(), 2.0f);
  // Typed text is taken whole glyph by glyph while the frame's text stays below 16 bytes.
  for (int i = 0; i < 7; i++) EXPECT_EQ(m_gui->KeyEvent(0, 0, "\xc3\xa9", true, 50, 60), 1);  // two bytes each
  EXPECT_EQ(m_gui->TextPending(), 14);
  EXPECT_EQ(m_gui->KeyEvent(0, 0, "\xe2\x82\xac", true, 50, 60), 1);  // 17 bytes: dropped, still taken
  EXPECT_EQ(m_gui->TextPending(), 14);
  EXPECT_EQ(m_gui->KeyEvent(0, 0, "a", true, 50, 60), 1);
  EXPECT_EQ(m_gui->TextPending(), 15);
  EXPECT_EQ(m_gui->KeyEvent(0, 0, "\xff", true, 50, 60), 1);  // not a glyph: dropped
  EXPECT_EQ(m_gui->TextPending(), 15);
  EXPECT_EQ(m_gui->KeyEvent(4, 0x40, nullptr, true, 50, 60), 0) << "A has no GUI key";
  m_gui->InputEnd();
  m_gui->Draw(1280, 720);
}

// A click whose press and release arrive in one input frame still clicks: the press is
// latched for that frame and the release shows in the next.
TEST_F(GuiFrame, AClickWithinOneFrameToggledACheckbox) {
  m_gui->ToggleWindow(Overlay::WIN_DEBUG);  // at 1280 - 316, 720 - 146
  Frame();
  ASSERT_EQ(m_gui->WindowRectCount(), 1);
  const float* r = m_gui->WindowRect(0);
  EXPECT_EQ(r[0], 964.0f);
  EXPECT_EQ(r[1], 574.0f);
  // The first checkbox's box: below the 16-unit header, inside the 8-unit padding.
  float x = r[0] + 8 + 6, y = r[1] + 16 + 4 + 6;
  EXPECT_EQ(m_gui->GetOptions().m_debugFlags, 0);
  Frame([&] {
    MoveTo(x, y);
    EXPECT_EQ(m_gui->KeyEvent(c_guiButtonLeft, 0, nullptr, true, (int)x, (int)y), 1);
    EXPECT_EQ(m_gui->KeyEvent(c_guiButtonLeft, 0, nullptr, false, (int)x, (int)y), 1);
  });
  Frame();
  EXPECT_EQ(m_gui->GetOptions().m_debugFlags, DF_FPS);
}

TEST_F(GuiFrame, EveryWindowConvertsIntoTheFixedBuffers) {
  m_gui->ToggleWindow(Overlay::WIN_CONSOLE);
  m_gui->ToggleWindow(Overlay::WIN_OPTIONS);
  m_gui->ToggleWindow(Overlay::WIN_DEBUG);
  m_gui->GetOptions().m_debugFlags = DF_ALL;
  const char* plan[3] = {"walkto", "cuttree", "pickuplumber"};
  int32_t size = 3, stage = 1;
  m_gui->SetActorInfo("Grumbold", plan, 3, &size, &stage);
  FixedString lines[2] = {FixedString("tile 12"), FixedString("land")};
  int32_t count = 2;
  m_gui->SetTileInfo(lines, &count);
  for (int i = 0; i < 40; i++) LogEvent("Grumbold cut down tree number %d.", i);
  Frame();
  Frame();
  EXPECT_EQ(m_gui->WindowRectCount(), 7);
  const GuiConvertResult& c = m_gui->LastConvert();
  EXPECT_FALSE(c.m_cut);
  EXPECT_GT(c.m_commandCount, 7);
  EXPECT_LE(c.m_vertexCount * 20, Gui::c_vertexBytes);
  EXPECT_LE(c.m_indexCount * 2, Gui::c_indexBytes);
  uint32_t end = 0;
  for (int i = 0; i < c.m_commandCount; i++) {
    const GuiDrawCommand& d = m_gui->Commands()[i];
    EXPECT_EQ(d.m_indexByteOffset, end) << "commands follow each other in the index buffer";
    end += d.m_elementCount * 2;
  }
  EXPECT_EQ(end, static_cast<uint32_t>(c.m_indexCount * 2));
}

// Builds an ImGui frame of its own and converts it into buffers that are too small: nothing
// is written past them and the result says the frame was cut.
TEST(GuiConvertTest, SmallBuffersCutWholeListsAndRebaseIndices) {
  ImFontAtlas atlas;
  atlas.AddFontDefault();
  unsigned char* px;
  int w, h;
  atlas.GetTexDataAsRGBA32(&px, &w, &h);
  ImGuiContext* ctx = ImGui::CreateContext(&atlas);
  ImGui::SetCurrentContext(ctx);
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;
  io.DisplaySize = ImVec2(800, 600);
  io.DeltaTime = 1.0f / 60.0f;
  ImGui::NewFrame();
  for (int i = 0; i < 3; i++) {
    char name[16];
    snprintf(name, sizeof(name), "w%d", i);
    ImGui::SetNextWindowPos(ImVec2(i * 200.0f, 10));
    ImGui::SetNextWindowSize(ImVec2(180, 100));
    ImGui::Begin(name);
    ImGui::Text("window %d", i);
    ImGui::End();
  }
  ImGui::Render();
  ImDrawData* data = ImGui::GetDrawData();
  ASSERT_GE(data->CmdListsCount, 3);

  // Big enough for everything: indices of list k are shifted by the vertices before it.
  std::vector<ImDrawVert> v(data->TotalVtxCount);
  std::vector<ImDrawIdx> ix(data->TotalIdxCount);
  GuiDrawCommand cmds[64];
  GuiConvertResult all = GuiConvert(data, v.data(), (int)(v.size() * 20), ix.data(), (int)(ix.size() * 2), cmds, 64);
  EXPECT_FALSE(all.m_cut);
  EXPECT_EQ(all.m_vertexCount, data->TotalVtxCount);
  EXPECT_EQ(all.m_indexCount, data->TotalIdxCount);
  const ImDrawList* second = data->CmdLists[1];
  int firstVerts = data->CmdLists[0]->VtxBuffer.Size;
  int firstIdx = data->CmdLists[0]->IdxBuffer.Size;
  EXPECT_EQ(ix[firstIdx], second->IdxBuffer[0] + firstVerts);
  for (int i = 0; i < all.m_indexCount; i++) ASSERT_LT(ix[i], all.m_vertexCount);

  // Room for one list's vertices only: the first fits, the rest is cut, the canaries live.
  int oneList = firstVerts;
  std::vector<unsigned char> vbuf(oneList * 20 + 64, 0xAB), ibuf(firstIdx * 2 + 64, 0xCD);
  GuiConvertResult cut = GuiConvert(data, vbuf.data(), oneList * 20, ibuf.data(), firstIdx * 2, cmds, 64);
  EXPECT_TRUE(cut.m_cut);
  EXPECT_EQ(cut.m_vertexCount, oneList);
  for (int i = oneList * 20; i < (int)vbuf.size(); i++) ASSERT_EQ(vbuf[i], 0xAB);
  for (int i = firstIdx * 2; i < (int)ibuf.size(); i++) ASSERT_EQ(ibuf[i], 0xCD);
  // No room for commands at all.
  GuiConvertResult none = GuiConvert(data, v.data(), (int)(v.size() * 20), ix.data(), (int)(ix.size() * 2), cmds, 0);
  EXPECT_TRUE(none.m_cut);
  EXPECT_EQ(none.m_commandCount, 0);
  EXPECT_EQ(GuiConvert(nullptr, v.data(), 100, ix.data(), 100, cmds, 64).m_commandCount, 0);
  ImGui::DestroyContext(ctx);
}

TEST(GuiScissorTest, ClipRectanglesFlipAndScale) {
  GuiDrawCommand c = {};
  c.m_clip[0] = 10;
  c.m_clip[1] = 20;
  c.m_clip[2] = 100;
  c.m_clip[3] = 50;
  int out[4];
  GuiScissor(c, 1.0f, 720, out);
  EXPECT_EQ(out[0], 10);
  EXPECT_EQ(out[1], 650);
  EXPECT_EQ(out[2], 100);
  EXPECT_EQ(out[3], 50);
  GuiScissor(c, 2.0f, 720, out);
  EXPECT_EQ(out[0], 20);
  EXPECT_EQ(out[1], 1300);
  EXPECT_EQ(out[2], 200);
  EXPECT_EQ(out[3], 100);
}

// Missing or damaged font files are reported by name; ImGui's own font stands in and the
// GUI keeps working, where ImGui alone would abort on an assertion.
TEST(GuiFonts, MissingAndDamagedFontsAreReportedNotFatal) {
  std::string data = TestTempFolder("nofonts");
  std::filesystem::create_directories(data + "/data/fonts");
  {
    FILE* f = fopen((data + "/data/fonts/sans_bold.ttf").c_str(), "wb");
    fputs("this is not a font file, only some text standing in for one", f);
    fclose(f);
    // The first half of the real font: its tables point past the end, which crashed the font
    // library at start-up.
    FixedString real;
    ASSERT_TRUE(DataFolderResolve(&real));
    std::ifstream in(std::string(real.c_str()) + "/data/fonts/sans_regular.ttf", std::ios::binary);
    const std::string font((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(font.size(), 1000u);
    std::ofstream(data + "/data/fonts/sans_regular.ttf", std::ios::binary).write(font.data(), font.size() / 2);
  }
  FixedString user;
  ASSERT_TRUE(UserFolderResolve(&user));
  ASSERT_TRUE(FoldersSet(user.c_str(), data.c_str()));
  {
    CapturedLog log;
    Gui gui(true);
    EXPECT_FALSE(gui.FontsLoaded());
    EXPECT_TRUE(log.Has("Cannot load font file 'data/fonts/mono_system.ttf'"));
    EXPECT_TRUE(log.Has("Cannot load font file 'data/fonts/sans_regular.ttf'"));
    EXPECT_TRUE(log.Has("Font file 'data/fonts/sans_regular.ttf' is damaged"));
    EXPECT_TRUE(log.Has("Cannot load font file 'data/fonts/sans_bold.ttf'"));
    gui.InputBegin();
    gui.InputEnd();
    gui.Draw(640, 480);
  }
  UseGuiFolders();
  Gui gui(true);
  EXPECT_TRUE(gui.FontsLoaded());
}

}  // namespace

namespace {

int swapIntervalSeen = -1;
float listenerGainSeen = -1.0f;

// The options window's controls act at once: vertical sync on the swap interval, the master
// volume on the listener gain; "Continue" closes the window and "Quit Game" asks to quit.
TEST_F(GuiFrame, OptionsWindowControlsActAtOnce) {
  OverlayHooks hooks;
  hooks.m_swapInterval = [](int interval) { swapIntervalSeen = interval; };
  hooks.m_listenerGain = [](float gain) { listenerGainSeen = gain; };
  m_gui->SetHooks(hooks);
  m_gui->ToggleWindow(Overlay::WIN_OPTIONS);
  Frame();
  ASSERT_EQ(m_gui->WindowRectCount(), 1);
  EXPECT_EQ(m_gui->WindowRect(0)[0], 490.0f);
  auto click = [&](float x, float y) {
    Frame([&] {
      MoveTo(x, y);
      m_gui->KeyEvent(c_guiButtonLeft, 0, nullptr, true, (int)x, (int)y);
      m_gui->KeyEvent(c_guiButtonLeft, 0, nullptr, false, (int)x, (int)y);
    });
    Frame();
  };
  // Rows of 32 units from the top of the contents (header 30, padding 8).
  const float left = 490 + 8, top = 170 + 30 + 8;
  click(left + 12, top + 14);  // "Video Vertical Sync"
  EXPECT_EQ(m_gui->GetOptions().m_vsync, 0);
  EXPECT_EQ(swapIntervalSeen, 0);
  click(left + 12, top + 2 * 32 + 14);  // the master volume's step down
  EXPECT_FLOAT_EQ(m_gui->GetOptions().m_masterVolume, 0.9f);
  EXPECT_FLOAT_EQ(listenerGainSeen, 0.9f);
  click(left + 12, top + 3 * 32 + 14);  // the music volume's: no hook, read by the game frame
  EXPECT_FLOAT_EQ(m_gui->GetOptions().m_musicVolume, 0.6f);
  EXPECT_FLOAT_EQ(listenerGainSeen, 0.9f);
  click(left + 68, top + 272 + 20);  // "Quit Game"
  EXPECT_TRUE(m_gui->QuitRequested());
  EXPECT_TRUE(m_gui->IsWindowOpen(Overlay::WIN_OPTIONS));
  click(left + 208, top + 272 + 20);  // "Continue"
  EXPECT_FALSE(m_gui->IsWindowOpen(Overlay::WIN_OPTIONS));
}

}  // namespace

namespace {

// Random codes, modifier bits, broken UTF-8 and unusable pointer values never take the GUI
// past its limits, and every frame still builds.
TEST_F(GuiFrame, HostileInputIsHandledSafely) {
  m_gui->ToggleWindow(Overlay::WIN_CONSOLE);
  m_gui->ToggleWindow(Overlay::WIN_DEBUG);
  Frame();
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  const float odd[] = {NAN, INFINITY, -INFINITY, 3.0e38f, -3.0e38f, 1.0e9f, -7.5f, 250.0f};
  for (int frame = 0; frame < 200; frame++) {
    Frame([&] {
      for (int e = 0; e < 20; e++) {
        unsigned r = next();
        switch (r % 4) {
          case 0:
            m_gui->MouseMotion(odd[r % 8], odd[(r >> 3) % 8], odd[(r >> 6) % 8], 1.0f, odd[(r >> 9) % 8]);
            break;
          case 1: {
            char text[5] = {static_cast<char>(next()), static_cast<char>(next()), static_cast<char>(next()),
                            static_cast<char>(next()), 0};
            if (r & 16) text[1 + (r >> 5) % 3] = 0;  // cut inside a sequence
            m_gui->KeyEvent(0, next(), text, (r >> 4) & 1, 0, 0);
            break;
          }
          default:
            m_gui->MouseMotion(static_cast<float>(next() % 600), static_cast<float>(next() % 500), 1.0f, 1.0f, 0.0f);
            m_gui->KeyEvent(static_cast<int>(next() % 400) - 50, next(), nullptr, (r >> 4) & 1, 0, 0);
            break;
        }
        ASSERT_LT(m_gui->TextPending(), Gui::c_textLimit);
        ASSERT_TRUE(std::isfinite(m_gui->ScrollPending()));
        ASSERT_TRUE(std::isfinite(m_gui->MouseX()) && std::fabs(m_gui->MouseX()) <= 1.0e6f);
      }
    });
    ASSERT_FALSE(m_gui->LastConvert().m_cut);
  }
}

}  // namespace

namespace {

// A drag started on a window and let go away from every window ends: the release reaches ImGui.
TEST_F(GuiFrame, ADragLetGoOutsideTheWindowsEnds) {
  m_gui->ToggleWindow(Overlay::WIN_OPTIONS);
  Frame();
  const float x = 490 + 8 + 140, y = 170 + 30 + 8 + 2 * 32 + 14;  // the master volume's field
  Frame([&] {
    MoveTo(x, y);
    EXPECT_EQ(m_gui->KeyEvent(c_guiButtonLeft, 0, nullptr, true, (int)x, (int)y), 1);
  });
  Frame();
  EXPECT_TRUE(ImGui::IsAnyItemActive()) << "the field is being dragged";
  Frame([&] {
    MoveTo(x, 700);  // straight down, out of the window: the value does not change
    EXPECT_FALSE(m_gui->IsAnyHovered());
    EXPECT_EQ(m_gui->KeyEvent(c_guiButtonLeft, 0, nullptr, false, (int)x, 700), 0);
  });
  Frame();
  EXPECT_FALSE(ImGui::IsAnyItemActive());
  EXPECT_FLOAT_EQ(m_gui->GetOptions().m_masterVolume, 1.0f);
}

}  // namespace

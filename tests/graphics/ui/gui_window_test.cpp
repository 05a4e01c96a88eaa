// The overlay in a real window: each window opens and closes with its key and shows on screen.
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "graphics/gl/graphics.h"
#include "graphics/gl/screenshot.h"
#include "graphics/gl_fixture.h"
#include "graphics/gui_fixture.h"
#include "graphics/ui/overlay.h"
#include "graphics/vis/vis_labels.h"
#include "system/input.h"
#include "system/window.h"
#include "utility/log.h"
#include "utility/png.h"

namespace {

constexpr int c_width = 1024, c_height = 640;

class GuiWindow : public testing::Test {
 protected:
  // The window is the one all window tests of this program share: made larger for these
  // tests and put back to its size afterwards.
  static void SetUpTestSuite() {
    UseGuiFolders();
    s_ready = false;
    if (!GlDisplayExists() || !GlWindowOpen()) return;
    WindowSize(&s_savedW, &s_savedH);
    s_ready = WindowCreate(c_width, c_height, false);
    if (s_ready) InputInit();
  }
  static void TearDownTestSuite() {
    if (!s_ready) return;
    InputExit();
    if (s_savedW > 0) WindowCreate(s_savedW, s_savedH, false);
  }
  void SetUp() override {
    if (!GlDisplayExists()) GTEST_SKIP() << "No display (DISPLAY is not set): run under tools/with_display.sh.";
    ASSERT_TRUE(s_ready) << "a display exists but the window or its GL context could not be made";
    GlBindingsReset();
    UseGuiFolders();
    m_overlay = std::make_unique<Overlay>();
    m_overlay->ApplyStyle();
    // As the game does with the sRGB option on: the style's linear colours are encoded on write.
    if (m_overlay->GetOptions().m_srgb) glEnable(GL_FRAMEBUFFER_SRGB);
    // Events left over from an earlier test must not toggle anything here.
    InputPoll();
    int code, down;
    uint32_t mods;
    const char* text;
    while (InputNextEvent(&code, &mods, &text, &down)) {
    }
  }
  void TearDown() override {
    m_overlay.reset();
    if (s_ready) glDisable(GL_FRAMEBUFFER_SRGB);
  }

  static void PushKey(int scancode, bool down) {
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
    SDL_PushEvent(&e);
  }

  // One frame as the game screen runs it: window keys before the GUI, the rest to the GUI.
  void Frame() {
    Overlay& o = *m_overlay;
    o.InputBegin();
    InputPoll();
    int code, down;
    uint32_t mods;
    const char* text;
    while (InputNextEvent(&code, &mods, &text, &down)) {
      int id = Overlay::WindowForKey(code);
      if (down && id >= 0 && id != Overlay::WIN_OPTIONS) o.ToggleWindow(id);
      int taken = o.KeyEvent(code, mods, text, down != 0, 0, 0);
      if (!taken && down && id == Overlay::WIN_OPTIONS) o.ToggleWindow(id);
    }
    o.InputEnd();
    int w = 0, h = 0;
    WindowSize(&w, &h);
    float scale = DrawableScale();
    glViewport(0, 0, static_cast<int>(w * scale), static_cast<int>(h * scale));
    FrameClear(0, 0, 0, 1, 1, 0);
    o.Draw(w, h);
    m_pixels.assign(static_cast<size_t>(w * scale) * static_cast<size_t>(h * scale) * 4, 0);
    m_pixelW = static_cast<int>(w * scale);
    m_pixelH = static_cast<int>(h * scale);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, m_pixelW, m_pixelH, GL_RGBA, GL_UNSIGNED_BYTE, m_pixels.data());
    WindowSwap();
  }
  // How many pixels of a window-unit rectangle (from the top left) are not the black clear colour.
  int Lit(int x, int y, int w, int h) const {
    int n = 0;
    for (int py = y; py < y + h; py++)
      for (int px = x; px < x + w; px++) {
        int row = m_pixelH - 1 - py;
        if (px < 0 || px >= m_pixelW || row < 0 || row >= m_pixelH) continue;
        const unsigned char* p = &m_pixels[(static_cast<size_t>(row) * m_pixelW + px) * 4];
        n += (p[0] | p[1] | p[2]) != 0;
      }
    return n;
  }
  static bool s_ready;
  static int s_savedW, s_savedH;
  std::unique_ptr<Overlay> m_overlay;
  std::vector<unsigned char> m_pixels;
  int m_pixelW = 0, m_pixelH = 0;
};

bool GuiWindow::s_ready = false;
int GuiWindow::s_savedW = 0;
int GuiWindow::s_savedH = 0;

TEST_F(GuiWindow, EachWindowOpensAndClosesWithItsKey) {
  struct Case {
    int key;
    uint32_t id;
    int x, y, w, h;  // where the window stands
  };
  const Case cases[] = {
      {53, Overlay::WIN_CONSOLE, 0, 0, 500, 390},
      {58, Overlay::WIN_OPTIONS, (c_width - 300) / 2, (c_height - 380) / 2, 300, 380},
      {67, Overlay::WIN_DEBUG, c_width - 316, c_height - 146, 300, 130},
  };
  Frame();
  EXPECT_EQ(Lit(0, 0, c_width, c_height), 0) << "nothing open, nothing drawn";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    PushKey(c.key, true);
    PushKey(c.key, false);
    Frame();
    Frame();  // the window is built in the frame that opened it; drawn from then on
    EXPECT_TRUE(m_overlay->IsWindowOpen(c.id));
    EXPECT_GT(Lit(c.x, c.y, c.w, c.h), c.w * c.h / 2) << "the window's background covers its rectangle";
    EXPECT_EQ(Lit(0, 0, c_width, c_height), Lit(c.x, c.y, c.w, c.h)) << "and nothing is drawn outside it";
    PushKey(c.key, true);
    PushKey(c.key, false);
    Frame();
    EXPECT_FALSE(m_overlay->IsWindowOpen(c.id));
    EXPECT_EQ(Lit(0, 0, c_width, c_height), 0);
  }
  // Escape closes what is open, newest first.
  PushKey(53, true);
  PushKey(67, true);
  Frame();
  EXPECT_EQ(m_overlay->WindowCount(), 2);
  PushKey(41, true);
  Frame();
  EXPECT_TRUE(m_overlay->IsWindowOpen(Overlay::WIN_CONSOLE));
  EXPECT_FALSE(m_overlay->IsWindowOpen(Overlay::WIN_DEBUG));
}

// Every window at once; the picture is written out when QUILLOMAR_GUI_SHOT names a file.
TEST_F(GuiWindow, AllWindowsTogether) {
  Overlay& o = *m_overlay;
  LogRingsReset();
  for (int i = 0; i < 30; i++) LogPrint("Console line %d: the planner found a plan of %d steps", i, i % 7);
  for (int i = 0; i < 9; i++) LogEvent("Grumbold cut down tree %d.", i);
  o.ToggleWindow(Overlay::WIN_CONSOLE);
  o.ToggleWindow(Overlay::WIN_OPTIONS);
  o.ToggleWindow(Overlay::WIN_DEBUG);
  o.GetOptions().m_debugFlags = DF_ALL;
  for (int i = 0; i < 60; i++) o.CountFrame(1.0f / 60.0f);
  const char* plan[4] = {"walkto", "cuttree", "pickuplumber", "dropatsite"};
  int32_t size = 4, stage = 2;
  o.SetActorInfo("Grumbold", plan, 4, &size, &stage);
  FixedString lines[3] = {FixedString("tile 1234"), FixedString("type land"), FixedString("attr 0x10000")};
  int32_t count = 3;
  o.SetTileInfo(lines, &count);
  Frame();
  Frame();
  EXPECT_FALSE(o.LastConvert().m_cut);
  EXPECT_GT(Lit(0, 0, 500, 390), 500 * 390 / 2);
  EXPECT_GT(Lit(c_width - 76, c_height - 76, 60, 60), 60 * 60 / 2);
  const char* shot = getenv("QUILLOMAR_GUI_SHOT");
  if (shot && shot[0]) {
    EXPECT_TRUE(PngWrite(shot, m_pixels.data(), m_pixelW, m_pixelH, 4, true));
  }
}

}  // namespace

namespace {

// What the text-drawing operation saw at each call: the text, the block on slot 3 and blending.
struct DrawSeen {
  std::string text;
  float block[20];
  bool blending;
  float w, h;
};
std::vector<DrawSeen> drawsSeen;

float RecordDraw(const char* text, float, float, float w, float h, const char*, const char*) {
  DrawSeen d;
  d.text = text;
  GLint buffer = 0;
  glGetIntegeri_v(GL_UNIFORM_BUFFER_BINDING, c_textBlockSlot, &buffer);
  glBindBuffer(GL_UNIFORM_BUFFER, static_cast<GLuint>(buffer));
  glGetBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(d.block), d.block);
  d.blending = glIsEnabled(GL_BLEND) == GL_TRUE;
  d.w = w;
  d.h = h;
  drawsSeen.push_back(d);
  return 1.0f;
}

TEST_F(GuiWindow, LabelsReachTheTextBlockInOrder) {
  GlHandle block = UBufferCreate(80, nullptr, true);
  ASSERT_NE(block, 0u);
  const char* lines[9] = {"Hey, Hilde...", "procure lumber", nullptr, nullptr,           nullptr,
                          nullptr,         nullptr,          nullptr, "Have a nice day!"};
  TextLabel labels[12];
  int n = SpeechChoiceLabels(lines, 2, true, labels);
  n += TutorLabels("Welcome!", labels + n);
  labels[n].m_text.Clear();  // an empty label is skipped
  n++;
  glDisable(GL_BLEND);
  drawsSeen.clear();
  TextLabelsDraw(block, labels, n, RecordDraw);
  // The GL binding was changed behind the wrappers' back by the recorder: forget the caches.
  GlBindingsReset();
  ASSERT_EQ(drawsSeen.size(), 6u);
  EXPECT_EQ(drawsSeen[0].text, std::string(1, c_glyphSpeechPanel));
  EXPECT_TRUE(drawsSeen[0].blending);
  EXPECT_EQ(drawsSeen[0].block[19], 0.8f);  // the panel's alpha
  EXPECT_EQ(drawsSeen[1].text, "Hey, Hilde...");
  EXPECT_FALSE(drawsSeen[1].blending) << "blending is put back after the panel";
  EXPECT_EQ(drawsSeen[2].text, "procure lumber");
  EXPECT_EQ(drawsSeen[2].block[16], 1.0f);  // highlighted: (1, 1, 0.2)
  EXPECT_EQ(drawsSeen[2].block[18], 0.2f);
  EXPECT_EQ(drawsSeen[2].block[0], 1.0f);  // identity matrix
  EXPECT_EQ(drawsSeen[5].text, "Welcome!");
  EXPECT_EQ(drawsSeen[5].block[17], 0.45f);
  EXPECT_FALSE(drawsSeen[5].blending);
  UBufferDestroy(block);
}

}  // namespace

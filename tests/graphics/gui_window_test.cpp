// The overlay in a real window: each window opens and closes with its key and shows on screen.
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "graphics/graphics.h"
#include "graphics/overlay.h"
#include "gui_fixture.h"
#include "system/input.h"
#include "system/window.h"
#include "utility/log.h"

namespace {

constexpr int c_width = 1024, c_height = 640;

class GuiWindow : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    UseGuiFolders();
    s_ready = VideoInit(0, 0, 3, 3, "gui test") && WindowCreate(c_width, c_height, false) && GraphicsInit();
    if (s_ready) InputInit();
  }
  static void TearDownTestSuite() {
    if (s_ready) {
      InputExit();
      GraphicsExit();
    }
    VideoExit();
  }
  void SetUp() override {
    if (!s_ready) GTEST_SKIP() << "no display with an OpenGL 3.3 context could be had";
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
  void TearDown() override { m_overlay.reset(); }

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
  // The frame as a binary PPM (top row first), for looking at.
  void WritePpm(const char* path) const {
    FILE* f = fopen(path, "wb");
    if (!f) return;
    fprintf(f, "P6\n%d %d\n255\n", m_pixelW, m_pixelH);
    for (int row = m_pixelH - 1; row >= 0; row--)
      for (int px = 0; px < m_pixelW; px++) fwrite(&m_pixels[(static_cast<size_t>(row) * m_pixelW + px) * 4], 1, 3, f);
    fclose(f);
  }

  static bool s_ready;
  std::unique_ptr<Overlay> m_overlay;
  std::vector<unsigned char> m_pixels;
  int m_pixelW = 0, m_pixelH = 0;
};

bool GuiWindow::s_ready = false;

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
  if (shot && shot[0]) WritePpm(shot);
}

}  // namespace

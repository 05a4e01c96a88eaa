// The input layer fed with SDL events pushed by hand: codes, the ring, axes, dead zones, controllers.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <csignal>

#include <cstring>

#include "system/input.h"
#include "test_support.h"

namespace {

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InputInit()) << SDL_GetError();  // starts SDL's events with the controllers
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    InputPoll();
    Drain();
  }
  void TearDown() override {
    InputExit();
    SDL_Quit();  // lets go of SDL's D-Bus connection too
  }
  static void Drain() {
    int code, down;
    uint32_t mods;
    const char* text;
    while (InputNextEvent(&code, &mods, &text, &down)) {
    }
  }
  static void Push(const SDL_Event& event) {
    SDL_Event copy = event;
    ASSERT_EQ(SDL_PushEvent(&copy), 1) << SDL_GetError();
  }
  static SDL_Event Key(bool down, int scancode, int repeat = 0, uint16_t mod = KMOD_NONE) {
    SDL_Event e = {};
    e.key.keysym.mod = mod;
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = static_cast<Uint8>(repeat);
    e.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
    return e;
  }
  static SDL_Event Button(bool down, int button) {
    SDL_Event e = {};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = static_cast<Uint8>(button);
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    return e;
  }
  static SDL_Event Motion(int x, int y, int dx, int dy) {
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.xrel = dx;
    e.motion.yrel = dy;
    return e;
  }
  static SDL_Event Axis(int axis, int value) {
    SDL_Event e = {};
    e.type = SDL_CONTROLLERAXISMOTION;
    e.caxis.axis = static_cast<Uint8>(axis);
    e.caxis.value = static_cast<Sint16>(value);
    return e;
  }
};

}  // namespace

TEST_F(InputTest, EventsArriveAsTheGamesCodes) {
  struct Case {
    SDL_Event event;
    bool queued;
    int code;
    int down;
  };
  SDL_Event text = {};
  text.type = SDL_TEXTINPUT;
  strcpy(text.text.text, "\xc3\xa9");
  SDL_Event pad = {};
  pad.type = SDL_CONTROLLERBUTTONDOWN;
  pad.cbutton.button = SDL_CONTROLLER_BUTTON_X;
  SDL_Event padUp = pad;
  padUp.type = SDL_CONTROLLERBUTTONUP;
  SDL_Event other = {};
  other.type = SDL_CLIPBOARDUPDATE;
  // A dropped file is not input; its name is freed (the sanitizer build's leak check sees it).
  SDL_Event drop = {};
  drop.type = SDL_DROPFILE;
  drop.drop.file = SDL_strdup("/tmp/dropped.dat");
  Case cases[] = {
      {Key(true, SDL_SCANCODE_A), true, SDL_SCANCODE_A, 1},
      {Key(true, SDL_SCANCODE_A, 1), false, 0, 0},  // a key repeat is dropped
      {Key(false, SDL_SCANCODE_A), true, SDL_SCANCODE_A, 0},
      {Key(true, 284), true, 284, 1},
      {Key(true, 285), false, 0, 0},  // would read as the left mouse button
      {Key(true, 300), false, 0, 0},  // would read as a controller button
      {Key(true, 511), false, 0, 0},
      {Button(true, SDL_BUTTON_LEFT), true, 285, 1},
      {Button(false, SDL_BUTTON_LEFT), true, 285, 0},
      {Button(true, SDL_BUTTON_MIDDLE), true, 286, 1},
      {Button(true, SDL_BUTTON_RIGHT), true, 287, 1},
      {Button(true, SDL_BUTTON_X1), true, 288, 1},
      {Button(true, SDL_BUTTON_X2), true, 289, 1},
      {Button(true, 9), true, 0, 1},
      {pad, true, 292 + SDL_CONTROLLER_BUTTON_X, 1},
      {padUp, true, 292 + SDL_CONTROLLER_BUTTON_X, 0},
      {text, true, 0, 1},
      {other, false, 0, 0},
      {drop, false, 0, 0},
  };
  // Shift is held throughout: the key events say so themselves, the others inherit it.
  for (Case& c : cases)
    if (c.event.type == SDL_KEYDOWN || c.event.type == SDL_KEYUP) c.event.key.keysym.mod = KMOD_LSHIFT;
  Push(Key(true, SDL_SCANCODE_LSHIFT, 0, KMOD_LSHIFT));
  EXPECT_TRUE(InputPoll());
  Drain();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "event " << c.event.type << " code " << c.code);
    Push(c.event);
    EXPECT_TRUE(InputPoll());
    int code = -7, down = -7;
    uint32_t mods = 0;
    const char* t = "untouched";
    const bool got = InputNextEvent(&code, &mods, &t, &down);
    EXPECT_EQ(got, c.queued);
    if (!got) {
      EXPECT_EQ(code, -7) << "outputs untouched on an empty ring";
      EXPECT_STREQ(t, "untouched");
      continue;
    }
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(down, c.down);
    EXPECT_EQ(mods, static_cast<uint32_t>(KMOD_LSHIFT));
    if (c.event.type == SDL_TEXTINPUT) {
      EXPECT_STREQ(t, "\xc3\xa9");
    } else {
      EXPECT_EQ(t, nullptr);
    }
    EXPECT_FALSE(InputNextEvent(&code, &mods, &t, &down));
  }
}

TEST_F(InputTest, SeventeenPressesFillTheRingAndTheLastWaitsInSdl) {
  for (int i = 0; i < 17; ++i) Push(Key(true, SDL_SCANCODE_A + i));
  EXPECT_TRUE(InputPoll());
  int code, down;
  uint32_t mods;
  const char* text;
  for (int i = 0; i < 16; ++i) {
    ASSERT_TRUE(InputNextEvent(&code, &mods, &text, &down));
    EXPECT_EQ(code, SDL_SCANCODE_A + i);
  }
  EXPECT_FALSE(InputNextEvent(&code, &mods, &text, &down));
  EXPECT_TRUE(InputPoll());
  ASSERT_TRUE(InputNextEvent(&code, &mods, &text, &down));
  EXPECT_EQ(code, SDL_SCANCODE_A + 16);
}

TEST_F(InputTest, EachEventKeepsWhereThePointerWasWhenItHappened) {
  // A press at its own place with Ctrl held, a key after a motion, a release, and then Ctrl let go
  // and a motion, all in the same poll: no event may report how things ended up.
  Push(Key(true, SDL_SCANCODE_LCTRL, 0, KMOD_LCTRL));
  Push(Motion(10, 20, 3, 3));
  SDL_Event press = Button(true, SDL_BUTTON_LEFT);
  press.button.x = 300;
  press.button.y = 400;
  Push(press);
  Push(Motion(30, 40, 5, 5));
  Push(Key(true, SDL_SCANCODE_RETURN, 0, KMOD_LCTRL));
  SDL_Event release = press;
  release.type = SDL_MOUSEBUTTONUP;
  Push(release);
  Push(Key(false, SDL_SCANCODE_LCTRL));
  Push(Motion(500, 600, 5, 5));
  ASSERT_TRUE(InputPoll());
  EXPECT_TRUE(InputMouseMoved());
  int code, down;
  uint32_t mods;
  const char* text;
  float x = -1.0f, y = -1.0f;
  struct Expected {
    int code;
    float x, y;
    uint32_t mods;
    bool moved;
  };
  const Expected expected[] = {{SDL_SCANCODE_LCTRL, -1, -1, KMOD_LCTRL, false},
                               {c_inputMouseLeft, 300, 400, KMOD_LCTRL, false},
                               {SDL_SCANCODE_RETURN, 30, 40, KMOD_LCTRL, true},
                               {c_inputMouseLeft, 300, 400, KMOD_LCTRL, true},
                               {SDL_SCANCODE_LCTRL, 30, 40, KMOD_NONE, true}};
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.code);
    ASSERT_TRUE(InputNextEvent(&code, &mods, &text, &down));
    InputEventPointer(&x, &y);
    EXPECT_EQ(code, e.code);
    if (e.x >= 0.0f) {
      EXPECT_EQ(x, e.x);
      EXPECT_EQ(y, e.y);
    }
    EXPECT_EQ(mods, e.mods);
    EXPECT_EQ(InputEventMoved(), e.moved);
  }
  // A control that took the press makes the waiting release no plain click.
  Push(press);
  Push(release);
  ASSERT_TRUE(InputPoll());
  ASSERT_TRUE(InputNextEvent(&code, &mods, &text, &down));
  EXPECT_FALSE(InputEventMoved());
  InputSetMouseMoved(true);
  ASSERT_TRUE(InputNextEvent(&code, &mods, &text, &down));
  EXPECT_TRUE(InputEventMoved());
}

TEST_F(InputTest, PointerWheelSticksAndFlags) {
  Push(Motion(100, 50, 1, -1));
  EXPECT_TRUE(InputPoll());
  EXPECT_FALSE(InputMouseMoved()) << "a one-pixel motion is not a move";
  Push(Motion(102, 50, 2, 0));
  SDL_Event wheel = {};
  wheel.type = SDL_MOUSEWHEEL;
  wheel.wheel.y = 3;
  Push(wheel);
  Push(Axis(SDL_CONTROLLER_AXIS_LEFTX, 32767));
  Push(Axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 19661));  // 0.6
  Push(Axis(200, 32767));                               // no such axis: ignored
  EXPECT_TRUE(InputPoll());
  EXPECT_TRUE(InputMouseMoved());
  Push(Button(true, SDL_BUTTON_LEFT));
  InputPoll();
  EXPECT_FALSE(InputMouseMoved()) << "a press clears the flag";
  InputSetMouseMoved(true);
  EXPECT_TRUE(InputMouseMoved());

  InputAxes axes = {};
  ApplyDeadZones(0.2f, &axes);
  EXPECT_EQ(axes.pointerX, 102.0f);
  EXPECT_EQ(axes.pointerY, 50.0f);
  EXPECT_EQ(axes.motionX, 3.0f);
  EXPECT_EQ(axes.motionY, -1.0f);
  EXPECT_EQ(axes.wheelY, 3.0f);
  EXPECT_NEAR(axes.leftStickX, 1.0f, 1e-5f);
  EXPECT_NEAR(axes.rightTrigger, 0.5f, 1e-4f);
  EXPECT_EQ(axes.rightStickX, 0.0f);
  // The sums start again; positions and controller values stay.
  ApplyDeadZones(0.2f, &axes);
  EXPECT_EQ(axes.motionX, 0.0f);
  EXPECT_EQ(axes.wheelY, 0.0f);
  EXPECT_EQ(axes.pointerX, 102.0f);
  EXPECT_NEAR(axes.leftStickX, 1.0f, 1e-5f);

  // Losing the focus zeroes everything until new input arrives, and is reported once.
  SDL_Event focus = {};
  focus.type = SDL_WINDOWEVENT;
  focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  Push(focus);
  InputPoll();
  ApplyDeadZones(0.2f, &axes);
  EXPECT_EQ(axes.pointerX, 0.0f);
  EXPECT_EQ(axes.leftStickX, 0.0f);
  EXPECT_EQ(axes.rightTrigger, 0.0f);
  EXPECT_TRUE(InputFocusLost());
  EXPECT_FALSE(InputFocusLost());

  // A quit request is reported, and the pump goes on with what follows it.
  SDL_Event quit = {};
  quit.type = SDL_QUIT;
  Push(quit);
  Push(Key(true, SDL_SCANCODE_Q));
  Drain();
  EXPECT_FALSE(InputPoll());
  int code = 0, down = 0;
  uint32_t mods;
  const char* text;
  EXPECT_TRUE(InputNextEvent(&code, &mods, &text, &down));
  EXPECT_EQ(code, SDL_SCANCODE_Q);
  EXPECT_TRUE(InputPoll());
}

// A closed terminal (SIGHUP) once ended the game on the spot, unsaved; it now asks to quit as
// SIGTERM does, and the shell's shut-down saves the game.
TEST_F(InputTest, AHangUpIsAQuitRequest) {
  EXPECT_TRUE(InputPoll());
  ASSERT_EQ(raise(SIGHUP), 0);  // the process lives on
  EXPECT_FALSE(InputPoll());
  EXPECT_FALSE(InputPoll());  // and keeps asking until it has ended
  InputExit();
  ASSERT_TRUE(InputInit());
  EXPECT_TRUE(InputPoll());
}

TEST(InputDeadZoneTest, StickAndTriggerRules) {
  const float d = 0.2f, scale = 1.0f / (1.0f - d);
  struct Stick {
    float x, y, ex, ey;
  };
  const Stick sticks[] = {
      {0.1f, 0.1f, 0.0f, 0.0f},    // inside the zone
      {0.6f, 0.8f, 0.6f, 0.8f},    // on the rim: length 1 stays 1
      {0.3f, 0.0f, 0.125f, 0.0f},  // (0.3 - 0.2) / 0.8
      {2.0f, 0.0f, 2.0f, 0.0f},    // longer than 1: left as it is
      {0.0f, 0.0f, 0.0f, 0.0f},
  };
  for (const Stick& s : sticks) {
    float x = s.x, y = s.y;
    DeadZoneRadial(d, scale, &x, &y);
    EXPECT_NEAR(x, s.ex, 1e-6f) << s.x << "," << s.y;
    EXPECT_NEAR(y, s.ey, 1e-6f) << s.x << "," << s.y;
  }
  const float triggers[][2] = {{0.6f, 0.5f}, {0.2f, 0.0f}, {-0.6f, 0.5f}, {3.0f, 1.0f}, {0.0f, 0.0f}};
  for (const auto& t : triggers) {
    float v = t[0];
    DeadZoneLinear(d, scale, &v);
    EXPECT_NEAR(v, t[1], 1e-6f) << t[0];
  }
  ExpectAsserts asserts;
  float x = 0.5f, y = 0.0f;
  DeadZoneRadial(-0.1f, 1.0f, &x, &y);
  EXPECT_TRUE(asserts.Saw("deadZone>=0.0f"));
  DeadZoneRadial(1.0f, 1.0f, &x, &y);
  EXPECT_TRUE(asserts.Saw("deadZone<1.0f"));
  InputAxes axes;
  ApplyDeadZones(1.5f, &axes);
  EXPECT_TRUE(asserts.Saw("deadZone < 1.0f"));
}

// SDL announces a controller attached at start with an added event as well; it must take
// one slot, not two, and go when it is pulled out.
TEST_F(InputTest, ControllerPresentAtStartIsOpenedOnce) {
  // Keep the joystick subsystem (started by InputInit in SetUp) alive across a restart of
  // the input layer, so that the virtual controller is there when the layer starts again.
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
  InputExit();
  const int device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                               SDL_CONTROLLER_BUTTON_MAX, 0);
  ASSERT_GE(device, 0) << SDL_GetError();
  if (!SDL_IsGameController(device)) {
    SDL_JoystickDetachVirtual(device);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    GTEST_SKIP() << "this SDL gives virtual joysticks no controller mapping";
  }
  ASSERT_TRUE(InputInit());
  EXPECT_EQ(ControllerCount(), 1);
  for (int i = 0; i < 4; ++i) InputPoll();
  EXPECT_EQ(ControllerCount(), 1) << "the added event of a controller already open is skipped";
  ControllersOpenAll();
  EXPECT_EQ(ControllerCount(), 1);

  SDL_JoystickDetachVirtual(device);
  for (int i = 0; i < 4; ++i) InputPoll();
  EXPECT_EQ(ControllerCount(), 0);

  // Plugged in while running: opened by the pump, once.
  const int again = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                              SDL_CONTROLLER_BUTTON_MAX, 0);
  ASSERT_GE(again, 0);
  for (int i = 0; i < 4; ++i) InputPoll();
  EXPECT_EQ(ControllerCount(), 1);
  SDL_JoystickDetachVirtual(again);
  for (int i = 0; i < 4; ++i) InputPoll();
  EXPECT_EQ(ControllerCount(), 0);
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

// Keyboard, mouse and game controllers: SDL's events turned into one code space and summed axes.
#pragma once

#include <cstdint>

// Mouse buttons get codes above every keyboard scancode the game uses; keys whose scancode
// would land on them are dropped. Controller buttons follow.
constexpr int c_inputMouseLeft = 285;
constexpr int c_inputMouseMiddle = 286;
constexpr int c_inputMouseRight = 287;
constexpr int c_inputMouseExtra1 = 288;
constexpr int c_inputMouseExtra2 = 289;
constexpr int c_inputControllerButton0 = 292;  // plus SDL's controller button index
// The first scancode that would collide with the mouse button codes.
constexpr int c_inputFirstDroppedScancode = c_inputMouseLeft;

constexpr int c_inputMaxControllers = 4;
constexpr int c_inputRingSize = 16;

// Continuous input summed since the last ApplyDeadZones.
struct InputAxes {
  float pointerX, pointerY;  // absolute pointer position of the last motion, window pixels
  float motionX, motionY;    // relative motion summed over the frame
  float wheelX, wheelY;      // wheel steps summed over the frame
  float leftStickX, leftStickY, rightStickX, rightStickY;  // last values, -1..1
  float leftTrigger, rightTrigger;                         // last values, 0..1
};

// Clears the layer and starts SDL's game-controller subsystem, opening every attached
// controller. False when the subsystem cannot start (the game runs on without controllers).
// Also takes SIGHUP, which from then on makes InputPoll report a quit request (as SIGTERM does).
bool InputInit();
// Ends a grab, closes the controllers, stops the subsystem and clears every flag.
void InputExit();
// Pumps SDL's queue once per frame: discrete events into the ring (at most 16 waiting; the rest
// stay in SDL's queue), continuous ones into the axes. False when the window was asked to close
// or the process was told to end (SIGTERM, SIGINT, SIGHUP).
bool InputPoll();
// Pops the oldest discrete event: its code (scancode, mouse 285..289, controller 292 + button,
// 0 for text), SDL's modifier bits as they were when the event happened (a key event's own, for
// any other event those of the key event before it; not the keys held at the pop, which at a low
// frame rate have often been let go already), the UTF-8 text of a text event (else null; valid
// until 16 more events are queued) and 1 for a press, 0 for a release. False, with the outputs
// untouched, when the ring is empty.
bool InputNextEvent(int* code, uint32_t* modifiers, const char** text, int* down);
// Where the pointer was (window pixels) when the event last popped by InputNextEvent happened:
// a mouse button's own position, else the position of the last motion before the event.
void InputEventPointer(float* x, float* y);
// Copies the axes out with the dead zone applied to sticks (radial) and triggers (linear), then
// zeroes the motion and wheel sums.
void ApplyDeadZones(float deadZone, InputAxes* out);
// Switches relative mouse mode on or off; the pointer returns where it was when the grab began.
void InputGrabMouse(bool on);
// True once after the window lost the keyboard focus.
bool InputFocusLost();
// Whether the pointer moved by more than a pixel since the last button press.
bool InputMouseMoved();
// The same flag as it was when the event last popped by InputNextEvent happened (a release made
// before the pointer moved on in the same frame is still a plain click).
bool InputEventMoved();
// Sets the flag, for the events still waiting in the ring as well.
void InputSetMouseMoved(bool moved);

// Opens the controller of a joystick device index in the first free slot; one already open, or
// a fifth, is skipped.
void ControllerOpen(int deviceIndex);
// Opens every attached game controller.
void ControllersOpenAll();
// The number of open controllers.
int ControllerCount();

// Dead zones with scale = 1 / (1 - deadZone): inputs inside the zone read 0 and the rest is
// stretched so that the rim still reads 1.
void DeadZoneRadial(float deadZone, float scale, float* x, float* y);
void DeadZoneLinear(float deadZone, float scale, float* v);

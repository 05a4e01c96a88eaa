// Keyboard, mouse and game controllers: SDL's events turned into one code space and summed axes.
#include "system/input.h"

#include <signal.h>

#include <SDL2/SDL.h>

#include <cmath>

#include "utility/log.h"

namespace {

struct ControllerSlot {
  SDL_GameController* handle;  // null when the slot is free
  SDL_JoystickID instanceId;
};

struct InputState {
  ControllerSlot controllers[c_inputMaxControllers];
  SDL_Event ring[c_inputRingSize];
  float ringPointer[c_inputRingSize][2];  // where the pointer was when each event happened
  uint16_t ringMods[c_inputRingSize];     // the modifier keys held when each event happened
  uint8_t ringMoved[c_inputRingSize];     // the moved flag as it was then
  float eventPointer[2];                  // that of the event popped last
  uint16_t mods;                          // the modifier keys as the last key event left them
  uint8_t eventMoved;                     // the moved flag of the event popped last
  uint32_t writeCount;
  uint32_t readCount;
  InputAxes axes;
  uint8_t grabbed;
  int32_t savedX, savedY;
  uint8_t focusLost;
  uint8_t moved;
};

InputState input = {};

// SDL's axis values are signed 16-bit; this maps 32767 to 1.
constexpr float c_axisScale = 3.051851e-5f;

uint32_t RingCount() { return input.writeCount - input.readCount; }

// A button carries its own position; any other event happened where the last motion left the
// pointer. Either can differ from where the pointer is once the whole queue has been read. So can
// the modifier keys: a key event carries them, any other event has those the last key event left.
void Queue(const SDL_Event& event) {
  const uint32_t slot = input.writeCount % c_inputRingSize;
  input.ring[slot] = event;
  const bool button = event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEBUTTONUP;
  input.ringPointer[slot][0] = button ? static_cast<float>(event.button.x) : input.axes.pointerX;
  input.ringPointer[slot][1] = button ? static_cast<float>(event.button.y) : input.axes.pointerY;
  input.ringMods[slot] = input.mods;
  input.ringMoved[slot] = input.moved;
  ++input.writeCount;
}

void ControllerAxis(int axis, int16_t value) {
  float* fields[] = {&input.axes.leftStickX,  &input.axes.leftStickY,  &input.axes.rightStickX,
                     &input.axes.rightStickY, &input.axes.leftTrigger, &input.axes.rightTrigger};
  if (axis < 0 || axis >= static_cast<int>(sizeof(fields) / sizeof(fields[0]))) return;
  *fields[axis] = value * c_axisScale;
}

void ControllerClose(SDL_JoystickID instanceId) {
  for (ControllerSlot& slot : input.controllers) {
    if (slot.handle == nullptr || slot.instanceId != instanceId) continue;
    SDL_GameControllerClose(slot.handle);
    slot = {};
    return;
  }
}

// Set by SIGHUP; from then on every poll reports a quit request, as SDL does for SIGTERM.
volatile sig_atomic_t hangUp = 0;
void OnHangUp(int) { hangUp = 1; }

// Handles one event; false when it was a quit request.
bool Handle(const SDL_Event& event) {
  switch (event.type) {
    case SDL_MOUSEMOTION:
      input.axes.pointerX = static_cast<float>(event.motion.x);
      input.axes.pointerY = static_cast<float>(event.motion.y);
      input.axes.motionX += static_cast<float>(event.motion.xrel);
      input.axes.motionY += static_cast<float>(event.motion.yrel);
      if (event.motion.xrel < -1 || event.motion.xrel > 1 || event.motion.yrel < -1 || event.motion.yrel > 1)
        input.moved = 1;
      break;
    case SDL_MOUSEWHEEL:
      input.axes.wheelX += static_cast<float>(event.wheel.x);
      input.axes.wheelY += static_cast<float>(event.wheel.y);
      break;
    case SDL_MOUSEBUTTONDOWN:
      input.moved = 0;
      Queue(event);
      break;
    case SDL_MOUSEBUTTONUP:
      Queue(event);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      // Also from the keys not queued: a repeat still says which modifiers are held.
      input.mods = event.key.keysym.mod;
      // Scancodes from 285 on would read as mouse and controller buttons.
      if (event.key.repeat == 0 && event.key.keysym.scancode < c_inputFirstDroppedScancode) Queue(event);
      break;
    case SDL_TEXTINPUT:
      Queue(event);
      break;
    case SDL_CONTROLLERAXISMOTION:
      ControllerAxis(event.caxis.axis, event.caxis.value);
      break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
      Queue(event);
      break;
    case SDL_CONTROLLERDEVICEADDED:
      ControllerOpen(event.cdevice.which);
      break;
    case SDL_CONTROLLERDEVICEREMOVED:
      ControllerClose(event.cdevice.which);
      break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        input.focusLost = 1;
        input.axes = {};
      }
      break;
    case SDL_QUIT:
      return false;
    // A file or text dropped on the window carries a string SDL leaves to the receiver to free.
    case SDL_DROPFILE:
    case SDL_DROPTEXT:
      SDL_free(event.drop.file);
      break;
    default:
      break;
  }
  return true;
}

}  // namespace

bool InputInit() {
  input = {};
  // Until the first key event, the keys held as input starts.
  input.mods = static_cast<uint16_t>(SDL_GetModState());
  // SDL turns SIGINT and SIGTERM into a quit request, which saves the game; a closed terminal
  // (SIGHUP) would otherwise end the process on the spot and lose the session.
  hangUp = 0;
  struct sigaction action = {};
  action.sa_handler = OnHangUp;
  sigemptyset(&action.sa_mask);
  if (sigaction(SIGHUP, &action, nullptr) != 0) LOGW("SIGHUP is not caught: a closed terminal ends the game unsaved.");
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return false;
  ControllersOpenAll();
  return true;
}

void InputExit() {
  InputGrabMouse(false);
  for (ControllerSlot& slot : input.controllers)
    if (slot.handle != nullptr) SDL_GameControllerClose(slot.handle);
  SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  input = {};
}

bool InputPoll() {
  bool keepGoing = hangUp == 0;
  SDL_Event event;
  while (RingCount() < c_inputRingSize && SDL_PollEvent(&event))
    if (!Handle(event)) keepGoing = false;
  return keepGoing;
}

bool InputNextEvent(int* code, uint32_t* modifiers, const char** text, int* down) {
  if (RingCount() == 0) return false;
  const uint32_t slot = input.readCount % c_inputRingSize;
  const SDL_Event& event = input.ring[slot];
  input.eventPointer[0] = input.ringPointer[slot][0];
  input.eventPointer[1] = input.ringPointer[slot][1];
  const uint32_t eventMods = input.ringMods[slot];
  input.eventMoved = input.ringMoved[slot];
  ++input.readCount;
  int c = 0, d = 1;
  const char* t = nullptr;
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      c = event.key.keysym.scancode;
      d = event.type == SDL_KEYDOWN ? 1 : 0;
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      switch (event.button.button) {
        case SDL_BUTTON_LEFT:
          c = c_inputMouseLeft;
          break;
        case SDL_BUTTON_MIDDLE:
          c = c_inputMouseMiddle;
          break;
        case SDL_BUTTON_RIGHT:
          c = c_inputMouseRight;
          break;
        case SDL_BUTTON_X1:
          c = c_inputMouseExtra1;
          break;
        case SDL_BUTTON_X2:
          c = c_inputMouseExtra2;
          break;
        default:
          c = 0;
          break;
      }
      d = event.type == SDL_MOUSEBUTTONDOWN ? 1 : 0;
      break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
      c = c_inputControllerButton0 + event.cbutton.button;
      d = event.type == SDL_CONTROLLERBUTTONDOWN ? 1 : 0;
      break;
    case SDL_TEXTINPUT:
      c = 0;
      t = event.text.text;
      break;
    default:
      ASSERTM(false, "event type %u in the input ring", event.type);
      break;
  }
  if (code) *code = c;
  if (modifiers) *modifiers = eventMods;
  if (text) *text = t;
  if (down) *down = d;
  return true;
}

void InputEventPointer(float* x, float* y) {
  if (x) *x = input.eventPointer[0];
  if (y) *y = input.eventPointer[1];
}

void DeadZoneRadial(float deadZone, float scale, float* x, float* y) {
  ASSERTT(deadZone >= 0.0f, "deadZone>=0.0f");
  ASSERTT(deadZone < 1.0f, "deadZone<1.0f");
  const float sq = *x * *x + *y * *y;
  const float len = sq <= 1.0f ? std::sqrt(sq) : 1.0f;
  if (len <= deadZone) {
    *x = 0.0f;
    *y = 0.0f;
    return;
  }
  const float factor = scale * (len - deadZone) / len;
  *x *= factor;
  *y *= factor;
}

void DeadZoneLinear(float deadZone, float scale, float* v) {
  float a = std::fabs(*v);
  if (a > 1.0f) a = 1.0f;
  if (a <= deadZone) {
    *v = 0.0f;
    return;
  }
  const float len = a;
  ASSERTT(len - deadZone > 0.0f, "len - deadZone > 0.0f");
  *v = (len - deadZone) * scale;
}

void ApplyDeadZones(float deadZone, InputAxes* out) {
  ASSERTT(deadZone < 1.0f, "deadZone < 1.0f");
  const float scale = 1.0f / (1.0f - deadZone);
  InputAxes axes = input.axes;
  DeadZoneRadial(deadZone, scale, &axes.leftStickX, &axes.leftStickY);
  DeadZoneRadial(deadZone, scale, &axes.rightStickX, &axes.rightStickY);
  DeadZoneLinear(deadZone, scale, &axes.leftTrigger);
  DeadZoneLinear(deadZone, scale, &axes.rightTrigger);
  if (out) *out = axes;
  input.axes.motionX = input.axes.motionY = 0.0f;
  input.axes.wheelX = input.axes.wheelY = 0.0f;
}

void InputGrabMouse(bool on) {
  if ((input.grabbed != 0) == on) return;
  if (on) {
    SDL_SetRelativeMouseMode(SDL_TRUE);
    SDL_CaptureMouse(SDL_TRUE);
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    input.savedX = x;
    input.savedY = y;
  } else {
    SDL_SetRelativeMouseMode(SDL_FALSE);
    SDL_CaptureMouse(SDL_FALSE);
    if (SDL_Window* window = SDL_GetMouseFocus()) SDL_WarpMouseInWindow(window, input.savedX, input.savedY);
  }
  input.grabbed = on ? 1 : 0;
}

bool InputFocusLost() {
  const bool lost = input.focusLost != 0;
  input.focusLost = 0;
  return lost;
}

bool InputMouseMoved() { return input.moved != 0; }

bool InputEventMoved() { return input.eventMoved != 0; }

void InputSetMouseMoved(bool moved) {
  // The events still waiting happened after whatever took the click, so they carry the flag too.
  input.moved = input.eventMoved = moved ? 1 : 0;
  for (uint32_t i = input.readCount; i != input.writeCount; ++i) input.ringMoved[i % c_inputRingSize] = input.moved;
}

void ControllerOpen(int deviceIndex) {
  // SDL announces every controller present at start with an added event as well, and
  // opening one twice would take a second slot and leak a reference on the device.
  const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
  if (id < 0) return;
  for (const ControllerSlot& slot : input.controllers)
    if (slot.handle != nullptr && slot.instanceId == id) return;
  for (ControllerSlot& slot : input.controllers) {
    if (slot.handle != nullptr) continue;
    slot.handle = SDL_GameControllerOpen(deviceIndex);
    SDL_Joystick* joystick = slot.handle ? SDL_GameControllerGetJoystick(slot.handle) : nullptr;
    if (joystick == nullptr) {
      if (slot.handle) SDL_GameControllerClose(slot.handle);
      slot = {};
      return;
    }
    slot.instanceId = SDL_JoystickInstanceID(joystick);
    return;
  }
}

void ControllersOpenAll() {
  const int count = SDL_NumJoysticks();
  for (int i = 0; i < count; ++i)
    if (SDL_IsGameController(i)) ControllerOpen(i);
}

int ControllerCount() {
  int count = 0;
  for (const ControllerSlot& slot : input.controllers) count += slot.handle != nullptr;
  return count;
}

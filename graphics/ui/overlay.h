// Overlay: the game screen's GUI windows (console, options, debug, frame rate, character, tile, messages) and the log
// rings.
#pragma once

#include <cstdint>

#include "graphics/ui/gui.h"
#include "graphics/ui/options.h"
#include "utility/fixed_string.h"

// The log rings behind the console and message windows. Every thread that logs writes them;
// one lock guards them, and the windows read copies taken under it.
constexpr int c_consoleRingSize = 24;  // the head line stays empty: 23 lines shown
constexpr int c_messageRingSize = 9;

// The consoleHook and messageHook targets: format into 256 bytes (cut) and store at the head.
void ConsoleLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void MessageLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The 23 console lines oldest first (empty lines where nothing was logged yet).
void ConsoleLines(FixedString out[c_consoleRingSize - 1]);
// The 9 messages oldest first.
void MessageLines(FixedString out[c_messageRingSize]);
// Empties both rings (tests).
void LogRingsReset();

// The sRGB-to-linear conversion of one colour byte, as the style table uses it.
uint8_t SrgbByteToLinear(uint8_t c);
// The 28-entry colour table (r, g, b, a), converted to linear when srgb is set (alpha never).
enum { c_styleColourCount = 28 };
void StyleColourTable(bool srgb, uint8_t out[c_styleColourCount][4]);

// Hands the options window's immediate effects to whoever owns the window and the audio. A
// windowed overlay starts with the window's own SwapIntervalSet; the listener gain is unset.
struct OverlayHooks {
  void (*m_swapInterval)(int interval) = nullptr;  // vertical sync changed
  void (*m_listenerGain)(float gain) = nullptr;    // master volume changed
};

class Overlay : public Gui {
 public:
  enum WindowId : uint32_t { WIN_CONSOLE = 0, WIN_OPTIONS = 1, WIN_DEBUG = 2 };
  static constexpr int c_windowListLimit = 3;

  // Installs consoleHook and messageHook. Options hold their defaults until the settings are read.
  explicit Overlay(bool headless = false);
  // Removes both hooks before the GUI goes.
  ~Overlay() override;

  // Escape with a window open closes the most recently opened one and is taken; anything else
  // follows the GUI's rules.
  int KeyEvent(int code, uint32_t mods, const char* text, bool down, int x, int y) override;
  // Builds the open windows, then the information windows, then converts and draws.
  void Render() override;

  void ToggleWindow(uint32_t id);
  // The window a key toggles: Grave (53) the console, F1 (58) the options, F10 (67) the debug
  // window; -1 for any other scancode.
  static int WindowForKey(int scancode);
  void CloseWindow(uint32_t id);
  bool IsWindowOpen(uint32_t id) const;
  int WindowCount() const { return m_windowCount; }
  bool DebugFlag(int bit) const { return (m_options.m_debugFlags >> bit) & 1; }

  // The character whose plan the actor window follows: its name, its plan step names (up to
  // planLimit of them), plan size and plan stage, all owned by the world.
  void SetActorInfo(const char* name, const char* const* planSteps, int planLimit, const int32_t* planSize,
                    const int32_t* planStage);
  void ClearActorInfo();
  // The world is about to be freed: forget every pointer into it.
  void WorldGone() { ClearActorInfo(); }
  // The tile window's lines and count, owned by the caller.
  void SetTileInfo(const FixedString* lines, const int32_t* count);
  bool HasActorInfo() const { return m_actorPlanSize != nullptr; }

  void CountFrame(float seconds);
  const char* FpsText() const { return m_fpsText.c_str(); }
  // Sets the ImGui style colours from the colour table (sRGB option as loaded).
  void ApplyStyle();

  Options& GetOptions() { return m_options; }
  const Options& GetOptions() const { return m_options; }
  // Replaces both hooks.
  void SetHooks(const OverlayHooks& hooks) { m_hooks = hooks; }
  // Sets only the listener-gain hook (the audio's), keeping the swap-interval one.
  void SetListenerGainHook(void (*gain)(float)) { m_hooks.m_listenerGain = gain; }
  // True once "Quit Game" was pressed.
  bool QuitRequested() const { return m_options.m_quitRequested != 0; }

 private:
  void ConsoleWindow();
  void OptionsWindow();
  void DebugWindow();
  void FpsWindow();
  void ActorWindow();
  void TileWindow();
  void MessagesWindow();
  void VolumeProperty(const char* id, const char* format, float* value, bool* changed);

  Options m_options;
  OverlayHooks m_hooks;
  float m_fpsTime = 0.0f;
  int32_t m_fpsFrames = 0;
  FixedString m_fpsText;
  const char* m_actorName = "Actor";
  const char* const* m_actorPlan = nullptr;
  int m_actorPlanLimit = 0;
  const int32_t* m_actorPlanSize = nullptr;
  const int32_t* m_actorPlanStage = nullptr;
  const FixedString* m_tileLines = nullptr;
  const int32_t* m_tileLineCount = nullptr;
  int32_t m_windowCount = 0;
  uint32_t m_windows[c_windowListLimit] = {};
  // The property colours of the style table, pushed around the volume fields.
  float m_propertyColour[4] = {};
  float m_propertyHoverColour[4] = {};
  // Copies of the rings taken under their lock, so drawing never holds it.
  FixedString m_consoleCopy[c_consoleRingSize - 1];
  FixedString m_messageCopy[c_messageRingSize];
};

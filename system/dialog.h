// Message boxes outside the game's own GUI, behind a hook that tests and headless runs replace.
#pragma once

// Shows an error box and waits for the player; true when it was shown and answered.
typedef bool (*DialogHookFn)(const char* title, const char* text);

// Where every dialog goes; DialogSystemBox unless a test or a headless run replaces it.
extern DialogHookFn dialogHook;

// Shows an error dialog through dialogHook (nothing when the hook is null); the answer of the hook.
bool DialogShowError(const char* title, const char* text);

// True when someone can answer a dialog: a display is named (DISPLAY or WAYLAND_DISPLAY) and
// neither QUILLOMAR_NO_DIALOGS nor CI is set to a non-empty value. Without one, a box would
// either fail at once or block a run that nobody watches.
bool DialogCanAsk();
// The system's box: an SDL simple message box of the error kind without a parent window, when
// DialogCanAsk; else it logs the title and text and returns false at once. May be called before
// SDL is started.
bool DialogSystemBox(const char* title, const char* text);
// The quiet stand-in: logs the title and text and returns false.
bool DialogLogOnly(const char* title, const char* text);

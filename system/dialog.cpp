// Message boxes outside the game's own GUI, behind a hook that tests and headless runs replace.
#include "system/dialog.h"

#include <SDL.h>

#include <cstdlib>

#include "utility/log.h"

DialogHookFn dialogHook = DialogSystemBox;

namespace {

bool EnvSet(const char* name) {
  const char* value = getenv(name);
  return value && value[0];
}

}  // namespace

bool DialogShowError(const char* title, const char* text) {
  DialogHookFn hook = dialogHook;
  return hook ? hook(title ? title : "", text ? text : "") : false;
}

bool DialogCanAsk() {
  if (EnvSet("QUILLOMAR_NO_DIALOGS") || EnvSet("CI")) return false;
  return EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY");
}

bool DialogLogOnly(const char* title, const char* text) {
  LOGW("Dialog not shown: %s\n%s", title ? title : "", text ? text : "");
  return false;
}

bool DialogSystemBox(const char* title, const char* text) {
  if (!DialogCanAsk()) return DialogLogOnly(title, text);
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) != 0) {
    LOGE("The dialog could not be shown: %s", SDL_GetError());
    return DialogLogOnly(title, text);
  }
  return true;
}

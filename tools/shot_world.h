// Shared set-up of the screenshot tools: the game's window on a private user folder, and a
// generated world with its services running, drawn by a Vis.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

#include "graphics/gl/graphics.h"
#include "graphics/vis/vis.h"
#include "system/file.h"
#include "system/input.h"
#include "system/window.h"
#include "utility/log.h"
#include "utility/message.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/planet/terraform.h"
#include "world/planet/worldgen.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

// Opens the window on a fresh user folder under the temporary folder, named after the tool.
// False, with a line, when the folders or a window cannot be had.
inline bool ShotWindowOpen(const char* tag, int width, int height, std::string* user) {
  std::error_code ec;
  *user =
      (std::filesystem::temp_directory_path(ec) / ("quillomar-" + std::string(tag) + "-" + std::to_string(getpid())))
          .string();
  std::filesystem::create_directories(*user, ec);
  FixedString data;
  if (ec || !DataFolderResolve(&data) || !FoldersSet(user->c_str(), data.c_str())) {
    LOGE("Cannot set the folders.");
    return false;
  }
  const std::string title = std::string("Quillomar ") + tag;
  if (!VideoInit(0, 0, 3, 3, title.c_str()) || !WindowCreate(width, height, false) || !GraphicsInit()) {
    LOGE("No window: run under tools/with_display.sh.");
    return false;
  }
  InputInit();
  return true;
}

// Closes the window and removes the private user folder.
inline void ShotWindowClose(const std::string& user) {
  InputExit();
  GraphicsExit();
  VideoExit();
  std::error_code ec;
  std::filesystem::remove_all(user, ec);
}

// Makes the world of the given planet size and variant, loads its planet model into the Vis,
// starts both services and hands the outbox over. Null, with a line, when it cannot be made.
inline Wld* ShotWorldMake(Vis* vis, const char* name, int size, int variant, Packet* outbox) {
  vis->m_screenMode = ScreenMode::Game;
  CustomParamsReset();
  customParamValues[0] = size;
  customParamValues[4] = variant;
  WorldRngReset();
  Wld* world = TerraformNewWorld(name);
  if (!world || world->Generate(variant) != WG_OK || LoadPlanetModel(vis, "custom.geo", world) < 0) {
    LOGE("Cannot make the world.");
    delete world;
    return nullptr;
  }
  PlanningServiceStart();
  PathingServiceStart();
  wld = world;
  outbox->Empty();
  WldOutboxSet(outbox, world);
  MailboxReset();
  SimFrameReset();
  return world;
}

// Stops both services and frees the world.
inline void ShotWorldFree(Vis* vis, Wld* world) {
  PathingServiceStop();
  PlanningServiceStop();
  VisWorldChanged(vis, nullptr);
  wld = nullptr;
  delete world;
}

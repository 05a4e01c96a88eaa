// The game shell's steps that need no window: the frame's step count, the menu choice's delay, starting,
// resuming and deleting a game, keeping a bad save aside and the save at exit.
#include "game/shell.h"

#include <cstdio>
#include <cstring>

#include "system/file.h"
#include "utility/log.h"
#include "utility/message.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/planet/terraform.h"
#include "world/planet/worldgen.h"
#include "world/save/save.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

namespace {
char notice[256];
bool userFolderMissing = false;

constexpr const char* c_noUserFolderText =
    "No user folder can be found, so no game can be played or saved: set QUILLOMAR_USER_DIR (or XDG_DATA_HOME or "
    "HOME) to name one.";
// The planet files a save needs; kept aside with it under the same ending.
constexpr const char* c_planetFiles[] = {"custom.top", "custom.geo"};

void NoticeSet(const char* text) { snprintf(notice, sizeof(notice), "%s", text); }

// Frees the world; its destructor takes its requests back from both services first.
void WorldFree(Wld* world) {
  if (!world) return;
  if (wld == world) wld = nullptr;
  delete world;
}

// The first ending (".bad", ".bad.1", ...) under which the refused save and its planet files can
// all be kept without replacing anything kept aside earlier.
bool BadEnding(FixedString* ending) {
  for (int i = 0; i < 100; ++i) {
    if (i == 0)
      ending->Set(".bad");
    else
      ending->Format(".bad.%d", i);
    FixedString name;
    // Present, not merely readable: a file kept aside earlier that cannot be opened is still kept.
    bool free = true;
    for (const char* base : {SAVEFILENAME, c_planetFiles[0], c_planetFiles[1]}) {
      name.Format("%s%s", base, ending->c_str());
      free = free && !FilePresent(name.c_str(), true);
    }
    if (free) return true;
  }
  return false;
}

// Moves the save that cannot be used aside, and with it the planet files it needs, before a new
// world writes its own over them: once the cause is mended, the three renamed back resume that
// game. False when the save could not be moved (it is then left as it is).
bool KeepSaveAside(FixedString* aside) {
  FixedString ending;
  if (!BadEnding(&ending)) return false;
  aside->Format("%s%s", SAVEFILENAME, ending.c_str());
  if (!FileRename(SAVEFILENAME, aside->c_str(), true)) return false;
  for (const char* planet : c_planetFiles) {
    FixedString kept;
    kept.Format("%s%s", planet, ending.c_str());
    if (!FilePresent(planet, true))
      LOGW("The saved game's planet file '%s' is not there to keep with it.", planet);
    else if (FileRename(planet, kept.c_str(), true))
      LOGI("The saved game's planet file '%s' is kept as '%s'.", planet, kept.c_str());
  }
  return true;
}
}  // namespace

int stepsForFrame(double dt) {
  const double step = c_shellStepSeconds;
  if (dt > 11.5 * step) return c_shellMaxSteps;
  for (int k = 10; k >= 1; --k)
    if (dt > (k + 0.5) * step) return k + 1;
  return 1;
}

int ShellFrameSteps(double dt, bool fastForward) { return stepsForFrame(dt) * (fastForward ? c_shellFastForward : 1); }

void PendingCommandSet(PendingCommand* pending, const char* choice) {
  if (!pending || !choice || !choice[0]) return;
  snprintf(pending->text, sizeof(pending->text), "%s", choice);
  pending->delay = c_shellCommandDelay;
}

const char* PendingCommandTick(PendingCommand* pending) {
  if (!pending || pending->delay <= 0) return nullptr;
  return --pending->delay == 0 ? pending->text : nullptr;
}

const char* ShellNotice() { return notice[0] || !userFolderMissing ? notice : c_noUserFolderText; }
void ShellNoticeClear() { notice[0] = 0; }
void ShellUserFolderMissingSet(bool missing) { userFolderMissing = missing; }

bool ShellSaveCheck() {
  if (!FilePresent(SAVEFILENAME, true) || FileExists(SAVEFILENAME, true)) return true;
  if (FolderPresent(SAVEFILENAME, true)) {
    // Not the game's to move or delete; while it is there no game can be saved.
    LOGE("'%s' in the user folder is a folder, not a saved game; no game can be saved until it is moved away.",
         SAVEFILENAME);
    NoticeSet("autosave.dat in the user folder is a folder: games cannot be saved until it is moved away.");
    return false;
  }
  // There but not readable (permissions, a FIFO): as much the player's save as one that is
  // damaged, so it is kept aside rather than taken for "no game".
  FixedString aside;
  if (KeepSaveAside(&aside)) {
    LOGE("The saved game cannot be opened; it is kept as '%s'.", aside.c_str());
    FixedString text;
    text.Format("The saved game could not be read. It is kept as %s.", aside.c_str());
    NoticeSet(text.c_str());
    return true;
  }
  LOGE("The saved game cannot be opened, nor moved aside; it is left as it is.");
  NoticeSet("The saved game could not be read. It was left as it is.");
  return false;
}

bool loadAutosave() {
  if (!FileExists(SAVEFILENAME, true)) {
    if (FilePresent(SAVEFILENAME, true)) {
      ShellSaveCheck();
      return false;
    }
    LOGI("No saved game present.");
    return false;
  }
  Wld* world = SaveGameLoad(SAVEFILENAME);
  if (!world) {
    FixedString aside;
    if (KeepSaveAside(&aside)) {
      LOGE("The saved game could not be read; it is kept as '%s' and a new world is made.", aside.c_str());
      FixedString text;
      text.Format("The saved game could not be read. It is kept as %s.", aside.c_str());
      NoticeSet(text.c_str());
      LogEvent("The saved game could not be read. It is kept as %s.", aside.c_str());
    } else {
      // It stays where it is; the game in progress is then never saved over it (see play).
      LOGE("The saved game could not be read, nor moved aside; it is left as it is.");
      NoticeSet("The saved game could not be read. It was left as it is.");
      LogEvent("The saved game could not be read. It was left as it is.");
    }
    return false;
  }
  WorldFree(wld);
  wld = world;
  return true;
}

void deleteCurrentGame(const ShellView* view) {
  LOGI("deleteCurrentGame");
  if (wld) {
    if (view && view->worldChanged) view->worldChanged(view->ctx, nullptr);
    WorldFree(wld);
    wld = nullptr;
  }
  // Only a save that can be read is the game's to delete; one that cannot is kept aside.
  if (ShellSaveCheck()) FileRemove(SAVEFILENAME, true);
}

int play(const ShellView& view, Packet* simPacket) {
  LOGI("play");
  if (wld) {
    LOGI("We already have a world in memory. Continue using that one.");
    return PLAY_KEPT;
  }
  // Without a user folder the planet cannot be written, nor the game saved: the player is told
  // which variables name one, and the title menu stays.
  if (!UserFolderGet()[0]) {
    LOGE("Cannot play: there is no user folder to write the planet and the save into.");
    NoticeSet(c_noUserFolderText);
    return PLAY_FAILED;
  }
  if (loadAutosave()) {
    ASSERT(wld);
    if (view.loadPlanetModel && view.loadPlanetModel(view.ctx, "custom.geo", wld) < 0) {
      // The save is fine; its planet's model is what is missing. Keep the save for a later try.
      LOGE("The saved game's planet model 'custom.geo' could not be loaded.");
      NoticeSet("The saved planet's model could not be loaded.");
      if (view.worldChanged) view.worldChanged(view.ctx, nullptr);
      WorldFree(wld);
      return PLAY_FAILED;
    }
    WldOutboxSet(simPacket, wld);
    if (view.gameInProgress) *view.gameInProgress = 1;
    if (view.aimCamera) view.aimCamera(view.ctx, wld);
    wld->Post("intro ended=1");
    return PLAY_RESUMED;
  }
  // A save that was refused and could not be moved aside must never be replaced by this game.
  const bool keepSave = FileExists(SAVEFILENAME, true);

  Wld* world = new Wld(c_shellWorldName);
  wld = world;
  const int planetSize = CustomParamGet("Planet Size");
  const int land = CustomParamGet("Land");
  CustomParamGet("Trees");  // read but not used: they do not shape the planet
  CustomParamGet("Rocks");
  const int variant = CustomParamGet("Random Variant");
  const int landHue = CustomParamGet("Land Hue");
  const int seaHue = CustomParamGet("Sea Hue");
  int result = PLAY_NEW;
  if (TerraformWrite(planetSize, land, variant, landHue, seaHue) < 0 || world->LoadTopology("custom.top") < 0) {
    LOGE("Cannot make a new world: the planet could not be made.");
    NoticeSet("The planet could not be made.");
    result = PLAY_FAILED;
  } else if (view.loadPlanetModel && view.loadPlanetModel(view.ctx, "custom.geo", world) < 0) {
    LOGE("Cannot make a new world: the planet's model did not load.");
    NoticeSet("The planet's model could not be loaded.");
    result = PLAY_FAILED;
  } else {
    WldOutboxSet(simPacket, world);
    const int generated = world->Generate(variant);
    if (generated != WG_OK) {
      LOGE("This planet cannot be settled (%s).", WorldGenResultText(generated));
      NoticeSet("This planet cannot be settled. Try another size or variant.");
      result = PLAY_UNSETTLEABLE;
    }
  }
  if (result < 0) {
    if (view.worldChanged) view.worldChanged(view.ctx, nullptr);
    WorldFree(world);
    return result;
  }
  world->Post("intro started=1");
  if (view.gameInProgress) *view.gameInProgress = keepSave ? 0 : 1;
  if (keepSave) LOGW("This game is not saved at exit: the unreadable save stays untouched.");
  // Said again for when the player comes back to the title screen: this game will not be kept.
  if (FolderPresent(SAVEFILENAME, true)) ShellSaveCheck();
  return PLAY_NEW;
}

void ShellWorldFree() { WorldFree(wld); }

bool ShellSaveAtExit(bool gameInProgress) {
  if (!wld) return false;
  if (!gameInProgress) {
    if (wld->m_gameEnded) FileRemove(SAVEFILENAME, true);
    return false;
  }
  return SaveGameWrite(wld, SAVEFILENAME);
}

void ShellSaveFailedText(char* out, size_t size, const char* folder) {
  snprintf(out, size,
           "Quillomar could not save the game in progress to\n%s/autosave.dat\n(the disk may be full, the folder "
           "read-only, or autosave.dat not a file).%s",
           folder, logFile ? " The log vyxlog.txt beside it says more." : "");
}

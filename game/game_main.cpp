// The program: start-up of every service in order, the frame loop of title screens and game frames, and shut-down.
#include "game/game_main.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "game/crash_guard.h"
#include "game/shell.h"
#include "game/steam_helper.h"
#include "game/title_menu.h"
#include "graphics/gl/graphics.h"
#include "graphics/models/load_report.h"
#include "graphics/vis/vis.h"
#include "graphics/vis/vis_input.h"
#include "graphics/vis/vis_sound.h"
#include "graphics/vis/vis_text.h"
#include "system/audio.h"
#include "system/dialog.h"
#include "system/file.h"
#include "system/input.h"
#include "system/instance_lock.h"
#include "system/timer.h"
#include "system/window.h"
#include "utility/log.h"
#include "utility/message.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/planet/terraform.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

namespace {

char userDataPath[256];
Packet simPacket;  // the simulation's outgoing packet, for the whole run

// The shortest frame: the swap interval may not wait (Xvfb reads back 0), so the loop rests.
constexpr double c_minFrameMs = 4.0;

int ViewLoadPlanetModel(void* ctx, const char* name, Wld* world) {
  return LoadPlanetModel(static_cast<Vis*>(ctx), name, world);
}
void ViewAimCamera(void* ctx, const Wld* world) { AimCameraAtPlayer(static_cast<Vis*>(ctx), world); }
void ViewWorldChanged(void* ctx, const Wld* world) { VisWorldChanged(static_cast<Vis*>(ctx), world); }

// The user folder from the store platform, else the one the folder rules name; empty when
// neither gives one (then nothing is saved).
void FindUserFolder(bool steamStarted) {
  userDataPath[0] = 0;
  ISteamUser* user = steamStarted ? SteamUser() : nullptr;
  if (user && user->GetUserDataFolder(userDataPath, sizeof(userDataPath))) {
    LOGI("User data folder is '%s'", userDataPath);
    return;
  }
  userDataPath[0] = 0;
  LOGE("Failed to get the user data folder from steam.");
  FixedString folder;
  if (UserFolderResolve(&folder) && folder.Length() < static_cast<int>(sizeof(userDataPath))) {
    snprintf(userDataPath, sizeof(userDataPath), "%s", folder.c_str());
    LOGI("User data folder is '%s'", userDataPath);
  }
}

void OpenLogFile() {
  if (!userDataPath[0]) return;
  char path[256];
  snprintf(path, sizeof(path), "%s/vyxlog.txt", userDataPath);
  // Through the file layer: a FIFO there would block the start for good, a link would have the
  // log written over the file it points to.
  FILE* f = FileStreamOpenWrite(path);
  if (f) logFile = f;
  LOGI("%s log file at %s.", f ? "Opened" : "Could not open", path);
}

void CloseLogFile() {
  if (!logFile) return;
  FILE* f = logFile;
  logFile = nullptr;
  fclose(f);
}

// Acts on a title-menu choice that fell due. The screen goes to the game only when a world is
// there to play; a refused planet goes back to the customise panel with the reason shown.
void ActOnCommand(Vis* vis, const ShellView& view, const char* command) {
  const bool resume = !strncmp(command, "RESUME", 6);
  const bool newGame = !strncmp(command, "NEW GAME", 8);
  // "CUSTOMIZE" only opened the panel: the game in progress ends when the panel is left with a
  // changed planet (CustomisePanelEndedGame), not here.
  if (newGame) {
    deleteCurrentGame(&view);
    vis->m_gameInProgress = 0;
  }
  if (!resume && !newGame) return;
  const int result = play(view, &simPacket);
  vis->m_terraforming = 0;
  if (result >= 0 && wld) {
    vis->m_screenMode = ScreenMode::Game;
  } else {
    if (result == PLAY_UNSETTLEABLE)
      CustomisePanelOpen(&vis->m_screenMode);
    else
      vis->m_screenMode = ScreenMode::Title;
    LOGI("Back to the %s.", vis->m_screenMode == ScreenMode::Customise ? "customise panel" : "title menu");
  }
}

}  // namespace

int GameMain() {
  checkCpu();
  assertHook = assertDialog;
  planetFaultDialog = DialogShowError;
  CrashGuardInstall();

  // The store platform, the user folder and the log file.
  const bool steamStarted = SteamAPI_Init();
  LOGI("%s initialize steam.", steamStarted ? "Did" : "Did not");
  FindUserFolder(steamStarted);
  // One game per user folder: a second one would overwrite the first one's save and options.
  // A lock that cannot be taken at all guards nothing: that start is refused too, with the reason.
  const int lock = userDataPath[0] ? InstanceLockAcquire(userDataPath, "quillomar.lock") : LOCK_TAKEN;
  if (lock != LOCK_TAKEN) {
    char text[512];
    if (lock == LOCK_HELD) {
      LOGE("Another Quillomar is already running with the user folder '%s'. This one ends.", userDataPath);
      snprintf(text, sizeof(text), "Quillomar is already running for this user. Only one game can run at a time.");
    } else {
      LOGE("The user folder '%s' cannot be locked against a second game. This one ends.", userDataPath);
      snprintf(text, sizeof(text),
               "Quillomar cannot make sure that it is the only game using its user folder, so it does not start.\n%s",
               InstanceLockProblem());
    }
    DialogShowError("Quillomar", text);
    if (steamStarted) SteamAPI_Shutdown();
    return lock == LOCK_HELD ? 0 : c_exitNoUserFolder;
  }
  OpenLogFile();
  CreateSteamHelper(0);
  SdlStart();
  // The simulation's statistics messages reach the store platform through the visualisation.
  simStatHandlers.gameEnd = ReportGameEnd;
  simStatHandlers.intStat = UpdateIntStat;
  simStatHandlers.floatStat = UpdateFloatStat;
  simStatHandlers.sync = SyncStats;
  simStatHandlers.achievement = AwardAchievement;

  FixedString dataFolder;
  if (!DataFolderResolve(&dataFolder)) dataFolder.Set(".");
  FoldersSet(userDataPath, dataFolder.c_str());
  // A save that cannot be read is kept aside (or reported) before the title screen offers it.
  // Without a user folder the title screen says so, and which variables name one, from the start.
  if (userDataPath[0])
    ShellSaveCheck();
  else
    ShellUserFolderMissingSet(true);
  TimerInit();

  bool video = VideoInit(0, 0, 3, 3, "Quillomar 127");
  // Without a sound device the game runs silent; the sound loading says so once.
  AudioInit(nullptr, 0.16f);
  InputInit();
  video = video && WindowCreate(1280, 720, false);
  if (video) {
    SwapIntervalSet(1);
    FullscreenToggle();
  }
  video = video && GraphicsInit();
  if (!video) {
    LOGE("Quillomar needs a display with OpenGL 3.3; it ends here.");
    DialogShowError("Quillomar", "Quillomar could not open its window with OpenGL 3.3.");
    InputExit();
    AudioExit();
    VideoExit();
    TimerExit();
    SdlStop();
    DestroySteamHelper();
    if (steamStarted) SteamAPI_Shutdown();
    InstanceLockRelease();
    CloseLogFile();
    return c_exitNoVideo;
  }

  simPacket.Empty();
  // Made here and deleted once at shut-down, after the save and before the GL context goes.
  Vis* vis = new Vis();
  // Damage in the data folder is told once: what failed is left out (a model is not drawn, a
  // sound is silent), unless the screens' text cannot be drawn at all; then the game stops here.
  const bool canShowText = vis->m_programs[PROG_TEXT] != 0;
  int status = canShowText ? 0 : c_exitDataMissing;
  if (LoadReportCount() > 0 || !canShowText) {
    LOGE("%d files of the data folder did not load%s:\n%s", LoadReportCount(),
         canShowText ? "; the game goes on without them" : "; the game cannot show its text and ends",
         LoadReportText());
    char text[2048];
    snprintf(text, sizeof(text), "%s\n\n%s",
             canShowText ? "Some of Quillomar's files are missing or damaged; the game goes on without them:"
                         : "Quillomar cannot draw its screens' text, so it cannot run. Files missing or damaged:",
             LoadReportCount() > 0 ? LoadReportText() : "(the text shader program could not be made)");
    DialogShowError("Quillomar", text);
  }
  CustomParamsRandomise();
  PlanningServiceStart();
  PathingServiceStart();

  ShellView view;
  view.ctx = vis;
  view.loadPlanetModel = ViewLoadPlanetModel;
  view.aimCamera = ViewAimCamera;
  view.worldChanged = ViewWorldChanged;
  view.gameInProgress = &vis->m_gameInProgress;

  PendingCommand pending;
  uint8_t fastForward = 0;
  bool gameShown = false;
  bool running = canShowText;
  double previous = TimerElapsedMs();
  while (running) {
    const double now = TimerElapsedMs();
    const double dt = (now - previous) * 0.001;
    previous = now;
    if (vis->m_fastForward != fastForward) {
      fastForward = vis->m_fastForward;
      LOGI("Fast forward %s.", fastForward ? "on" : "off");
    }
    const int steps = ShellFrameSteps(dt, fastForward != 0);
    if (vis->m_screenMode != ScreenMode::Game) {
      gameShown = false;
      const char* choice = VisTitleFrame(vis, static_cast<float>(dt));
      if (!choice)
        running = false;
      else
        PendingCommandSet(&pending, choice);
      if (CustomisePanelEndedGame()) deleteCurrentGame(&view);
    } else if (!wld) {
      vis->m_screenMode = ScreenMode::Title;  // no world to show: back to the menu rather than an empty screen
    } else if (!guardedFrame(&simPacket, vis, wld, dt, steps, c_simStep, VisFrame)) {
      running = false;
    } else if (!gameShown) {
      // As the title screens do: the first frame of each visit, once it is on the screen.
      LOGI("Game screen shown.");
      gameShown = true;
    }
    SteamAPI_RunCallbacks();
    if (const char* command = PendingCommandTick(&pending)) ActOnCommand(vis, view, command);
    const double spent = TimerElapsedMs() - now;
    if (running && spent < c_minFrameMs)
      std::this_thread::sleep_for(std::chrono::microseconds(static_cast<int>((c_minFrameMs - spent) * 1000.0)));
  }

  // Shut-down: the workers let go of the world before it is saved and freed.
  PlanningServiceStop();
  PathingServiceStop();
  const double age = wld ? wld->m_age : 0.0;
  const bool mustSave = wld && vis->m_gameInProgress;
  if (ShellSaveAtExit(vis->m_gameInProgress != 0)) {
    LOGI("Saved the game at the age of %.1f s.", age);
  } else if (mustSave) {
    // The session would be lost without a word: the player hears of it, and so does whatever started the game.
    LOGE("The game in progress could not be saved to '%s/autosave.dat'; this session is lost.", userDataPath);
    char text[512];
    ShellSaveFailedText(text, sizeof(text), userDataPath);
    DialogShowError("Quillomar", text);
    status = c_exitNotSaved;
  }
  VisTextShutdown();
  delete vis;
  vis = nullptr;
  StoreStatsAtExit();
  GraphicsExit();
  InputExit();
  AudioExit();
  VideoExit();
  MailboxReset();
  TimerExit();
  UserFolderClear();
  SdlStop();
  DestroySteamHelper();
  if (steamStarted) SteamAPI_Shutdown();
  // Last: nothing above reads the world, and the workers let go of it at the start.
  ShellWorldFree();
  InstanceLockRelease();
  LOGI("Quillomar ends.");
  CloseLogFile();
  return status;
}

// The game shell without a window: frame steps, the menu choice's delay, play, resume, delete and the save at exit.
#include "game/shell.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "captured_log.h"
#include "game/title_menu.h"
#include "graphics/vis/vis.h"
#include "system/file.h"
#include "test_support.h"
#include "utility/log.h"
#include "utility/message.h"
#include "world/actors/actors_interventions.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/planet/globe.h"
#include "world/planet/terraform.h"
#include "world/planet_fixture.h"
#include "world/save/save.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

namespace {

TEST(ShellSteps, FrameTimeToSteps) {
  const double step = 1.0 / 240.0;
  const struct {
    double dt;
    bool ff;
    int steps;
  } cases[] = {
      {0.0, false, 1},
      {1.5 * step, false, 1},         // a half rounds down
      {1.5 * step + 1e-9, false, 2},  // just above it rounds up
      {2.0 * step, false, 2},
      {11.5 * step, false, 11},
      {11.5 * step + 1e-9, false, 12},
      {1.0, false, 12},  // a long stall slows the game instead of jumping
      {1.0, true, 72},   // fast-forward: six times as many
      {0.0, true, 6},
      {-0.5, false, 1},
      {std::numeric_limits<double>::quiet_NaN(), false, 1},
      {std::numeric_limits<double>::infinity(), false, 12},
      {-std::numeric_limits<double>::infinity(), true, 6},
  };
  for (const auto& c : cases) EXPECT_EQ(ShellFrameSteps(c.dt, c.ff), c.steps) << c.dt << " ff " << c.ff;
}

TEST(ShellSteps, AMenuChoiceIsActedOnAtTheEndOfTheNextFrame) {
  PendingCommand p;
  EXPECT_EQ(PendingCommandTick(&p), nullptr);
  // Frame 0: chosen, and the end of the same frame counts once.
  PendingCommandSet(&p, "NEW GAME");
  EXPECT_EQ(PendingCommandTick(&p), nullptr);
  // Frame 1: an empty or null choice changes nothing, and the command falls due.
  PendingCommandSet(&p, "");
  PendingCommandSet(&p, nullptr);
  const char* due = PendingCommandTick(&p);
  ASSERT_NE(due, nullptr);
  EXPECT_STREQ(due, "NEW GAME");
  EXPECT_EQ(PendingCommandTick(&p), nullptr);  // once only
  // A second choice before the first fell due replaces it and starts the delay again.
  PendingCommandSet(&p, "CUSTOMIZE PLANET");
  PendingCommandTick(&p);
  PendingCommandSet(&p, "RESUME GAME IN PROGRESS");
  EXPECT_EQ(PendingCommandTick(&p), nullptr);
  EXPECT_STREQ(PendingCommandTick(&p), "RESUME GAME IN PROGRESS");
}

// Stands in for the Vis: builds the tile transforms from the mesh as the Vis does, and counts.
struct FakeView {
  uint8_t inProgress = 0;
  int loads = 0, aims = 0, changes = 0;
  bool failLoad = false;
  std::vector<Matrix44> trfs;
  ShellView view;
  FakeView() {
    view.ctx = this;
    view.gameInProgress = &inProgress;
    view.loadPlanetModel = [](void* ctx, const char* name, Wld* world) {
      FakeView* f = static_cast<FakeView*>(ctx);
      ++f->loads;
      EXPECT_STREQ(name, "custom.geo");
      if (f->failLoad) return -1;
      f->trfs.assign(world->globe.m_sz, Matrix44());
      if (TileTransformsLoad(world->globe, name, true, f->trfs.data()) < 0) return -1;
      world->globe.SetTileTransforms(f->trfs.data());
      return 1;
    };
    view.aimCamera = [](void* ctx, const Wld*) { ++static_cast<FakeView*>(ctx)->aims; };
    view.worldChanged = [](void* ctx, const Wld*) { ++static_cast<FakeView*>(ctx)->changes; };
  }
};

std::vector<std::string> PacketTexts(const Packet& p) {
  Packet copy = p;
  copy.m_readPos = 0;
  std::vector<std::string> out;
  char buf[1024];
  while (copy.m_readPos < copy.m_size) {
    copy.Read(buf, sizeof(buf), 0);
    out.push_back(buf);
  }
  return out;
}

std::string ReadUserFile(const char* name) {
  FileHandle f = FileOpenRead(name, true);
  std::string s(FileSize(f), '\0');
  if (!s.empty()) FileRead(f, s.data(), s.size());
  FileClose(f);
  return s;
}

void WriteUserFile(const char* name, const std::string& bytes) {
  FileHandle f = FileOpenWrite(name, true);
  ASSERT_NE(f, 0u);
  FileWrite(f, bytes.data(), bytes.size());
  FileClose(f);
}

// Frees the world in memory without touching the save (as a restart of the program would).
void ForgetWorld() {
  delete wld;
  wld = nullptr;
}

class ShellGame : public ::testing::Test {
 protected:
  void SetUp() override {
    UseTestFolders();
    ForgetWorld();
    for (const char* base : {SAVEFILENAME, "custom.top", "custom.geo"})
      for (const char* ending : {"", ".bad", ".bad.1", ".bad.2"})
        FileRemove((std::string(base) + ending).c_str(), true);
    ShellNoticeClear();
    CustomParamsReset();
    customParamValues[0] = 1;  // the 272-tile planet, the smallest generation accepts
    customParamValues[4] = 0;
  }
  void TearDown() override { ForgetWorld(); }
  Packet packet;
};

TEST_F(ShellGame, NewGameSaveResumeAndDelete) {
  FakeView f;
  ASSERT_EQ(play(f.view, &packet), PLAY_NEW);
  ASSERT_NE(wld, nullptr);
  Wld* const first = wld;
  EXPECT_EQ(wld->globe.m_sz, 272);
  EXPECT_STREQ(wld->m_name.c_str(), "Reverodade b");
  EXPECT_EQ(f.inProgress, 1);
  EXPECT_EQ(f.loads, 1);
  EXPECT_EQ(PacketTexts(packet).back(), "intro started=1");
  // Play again (the title menu's RESUME with a world in memory): the same world, no file read.
  {
    CapturedLog log;
    EXPECT_EQ(play(f.view, &packet), PLAY_KEPT);
    EXPECT_TRUE(log.Has("We already have a world in memory. Continue using that one."));
  }
  EXPECT_EQ(wld, first);
  EXPECT_EQ(f.loads, 1);

  // Quitting saves the game in progress.
  EXPECT_TRUE(ShellSaveAtExit(true));
  EXPECT_TRUE(FileExists(SAVEFILENAME, true));
  const double age = wld->m_age;
  ForgetWorld();

  // The next start resumes it: the model reloaded, the camera aimed, the intro skipped.
  packet.Empty();
  ASSERT_EQ(play(f.view, &packet), PLAY_RESUMED);
  ASSERT_NE(wld, nullptr);
  EXPECT_EQ(wld->globe.m_sz, 272);
  EXPECT_DOUBLE_EQ(wld->m_age, age);
  EXPECT_EQ(f.aims, 1);
  EXPECT_EQ(PacketTexts(packet).back(), "intro ended=1");

  // NEW GAME, and a changed planet, delete the game with its save.
  {
    CapturedLog log;
    deleteCurrentGame(&f.view);
    EXPECT_TRUE(log.Has("deleteCurrentGame"));
  }
  EXPECT_EQ(wld, nullptr);
  EXPECT_FALSE(FileExists(SAVEFILENAME, true));
  EXPECT_GE(f.changes, 1);
  deleteCurrentGame(&f.view);  // nothing there: harmless
  // RESUME without a world and without a save makes a new world.
  EXPECT_EQ(play(f.view, &packet), PLAY_NEW);
}

TEST_F(ShellGame, TheCustomisePanelEndsTheGameOnlyWhenThePlanetChanged) {
  FakeView f;
  ASSERT_EQ(play(f.view, &packet), PLAY_NEW);
  ASSERT_TRUE(ShellSaveAtExit(true));  // the save of an earlier session
  Wld* const game = wld;
  ScreenMode mode = ScreenMode::Title;
  uint8_t terraforming = 0;
  int seaHues = 0;
  while (customParamChoices[6][seaHues][0]) ++seaHues;
  // Backing out at once with Escape, and with [OK] after a value went once round: the game and its
  // save stay, and RESUME carries on with it.
  for (int turns : {0, seaHues}) {
    EXPECT_STREQ(TitleMenuChoose(3, &mode, &f.inProgress, &terraforming), "CUSTOMIZE PLANET");
    EXPECT_EQ(mode, ScreenMode::Customise);
    EXPECT_EQ(f.inProgress, 1);
    for (int i = 0; i < turns; ++i) EXPECT_TRUE(CustomisePanelChoose(7, 1, &mode, &f.inProgress));
    if (turns)
      EXPECT_TRUE(CustomisePanelChoose(8, 1, &mode, &f.inProgress));
    else
      EXPECT_FALSE(CustomisePanelLeave(&mode, &f.inProgress));
    EXPECT_EQ(mode, ScreenMode::Title);
    EXPECT_FALSE(CustomisePanelEndedGame());
    EXPECT_TRUE(FileExists(SAVEFILENAME, true));
    EXPECT_STREQ(TitleMenuChoose(2, &mode, &f.inProgress, &terraforming), "RESUME GAME IN PROGRESS");
    EXPECT_EQ(play(f.view, &packet), PLAY_KEPT);
    EXPECT_EQ(wld, game);
  }
  // A changed planet ends the game when the panel is left, and not before.
  TitleMenuChoose(3, &mode, &f.inProgress, &terraforming);
  EXPECT_TRUE(CustomisePanelChoose(1, 1, &mode, &f.inProgress));
  EXPECT_EQ(f.inProgress, 1);
  EXPECT_TRUE(FileExists(SAVEFILENAME, true));
  EXPECT_TRUE(CustomisePanelLeave(&mode, &f.inProgress));
  EXPECT_EQ(mode, ScreenMode::Title);
  EXPECT_EQ(f.inProgress, 0);
  EXPECT_TRUE(CustomisePanelEndedGame());
  EXPECT_FALSE(CustomisePanelEndedGame());  // reported once
  deleteCurrentGame(&f.view);               // what the shell does on that report
  EXPECT_EQ(wld, nullptr);
  EXPECT_FALSE(FileExists(SAVEFILENAME, true));
  EXPECT_STREQ(TitleMenuChoose(2, &mode, &f.inProgress, &terraforming), "");
  // With no game in progress a change ends nothing.
  TitleMenuChoose(3, &mode, &f.inProgress, &terraforming);
  EXPECT_TRUE(CustomisePanelChoose(1, 1, &mode, &f.inProgress));
  EXPECT_FALSE(CustomisePanelLeave(&mode, &f.inProgress));
  EXPECT_FALSE(CustomisePanelEndedGame());
}

TEST_F(ShellGame, ARefusedSaveIsKeptAsideAndNeverOverwritten) {
  FakeView f;
  const std::string junk = "#Vyx but not a save at all";
  WriteUserFile(SAVEFILENAME, junk);
  {
    CapturedLog log;
    EXPECT_EQ(play(f.view, &packet), PLAY_NEW);
    EXPECT_TRUE(log.Has("kept as 'autosave.dat.bad'"));
  }
  ASSERT_NE(wld, nullptr);
  EXPECT_NE(std::string(ShellNotice()).find("autosave.dat.bad"), std::string::npos);
  EXPECT_FALSE(FileExists(SAVEFILENAME, true));
  EXPECT_EQ(ReadUserFile("autosave.dat.bad"), junk);
  // The new game saves under the usual name; the bad one stays as it was.
  EXPECT_TRUE(ShellSaveAtExit(f.inProgress != 0));
  EXPECT_TRUE(FileExists(SAVEFILENAME, true));
  EXPECT_EQ(ReadUserFile("autosave.dat.bad"), junk);
  // A second bad save does not replace the first one kept aside.
  ForgetWorld();
  WriteUserFile(SAVEFILENAME, "short");
  EXPECT_FALSE(loadAutosave());
  EXPECT_EQ(wld, nullptr);  // a refused save leaves no world behind
  EXPECT_EQ(ReadUserFile("autosave.dat.bad"), junk);
  EXPECT_EQ(ReadUserFile("autosave.dat.bad.1"), "short");
}

// Running as root, permission bits cannot make a file unreadable; the file layer's test hook
// fails the open the way a file without read permission does.
bool RefuseSaveOpen(const char* path, int) {
  for (const char* name : {"/" SAVEFILENAME, "/autosave.dat.bad"}) {
    const size_t n = strlen(path), m = strlen(name);
    if (n >= m && !strcmp(path + n - m, name)) return true;
  }
  return false;
}

// "autosave.dat" there but not readable: taken for "no game" it was deleted by NEW GAME, or a new
// game was silently never saved. An unreadable file is kept aside like a refused save; a folder
// is kept where it is, and the player is told that nothing can be saved.
TEST_F(ShellGame, ASaveThatCannotBeReadIsKeptNeverDeleted) {
  const std::string bytes = "#Vyx a save this process may not read";
  for (const bool viaNewGame : {true, false}) {
    SCOPED_TRACE(viaNewGame ? "NEW GAME" : "RESUME");
    // No permission to read it.
    FakeView f;
    FileRemove("autosave.dat.bad.1", true);
    WriteUserFile("autosave.dat.bad", "kept aside before, and unreadable too");
    WriteUserFile(SAVEFILENAME, bytes);
    ShellNoticeClear();
    fileOpenRefuseHook = RefuseSaveOpen;
    {
      CapturedLog log;
      if (viaNewGame) deleteCurrentGame(&f.view);
      EXPECT_EQ(play(f.view, &packet), PLAY_NEW);
      EXPECT_TRUE(log.Has("kept as 'autosave.dat.bad.1'"));
    }
    fileOpenRefuseHook = nullptr;
    EXPECT_EQ(ReadUserFile("autosave.dat.bad.1"), bytes);
    EXPECT_EQ(ReadUserFile("autosave.dat.bad"), "kept aside before, and unreadable too");
    EXPECT_NE(std::string(ShellNotice()).find("autosave.dat.bad.1"), std::string::npos);
    EXPECT_TRUE(ShellSaveAtExit(f.inProgress != 0));  // the new game saves under the usual name
    ForgetWorld();
    FileRemove(SAVEFILENAME, true);

    // A folder of that name.
    const std::string folder = std::string(UserFolderGet()) + "/" SAVEFILENAME;
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    ShellNoticeClear();
    {
      CapturedLog log;
      if (viaNewGame) deleteCurrentGame(&f.view);
      EXPECT_EQ(play(f.view, &packet), PLAY_NEW);
      EXPECT_TRUE(log.Has("is a folder, not a saved game"));
    }
    EXPECT_NE(std::string(ShellNotice()).find("is a folder"), std::string::npos);
    EXPECT_FALSE(ShellSaveAtExit(f.inProgress != 0));  // the caller tells the player
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    ForgetWorld();
    std::filesystem::remove(folder);
  }
}

// The save never writes through a link planted at its temporary name, and a temporary file left
// by a save that was cut short is replaced, not written into.
TEST_F(ShellGame, TheSaveNeitherFollowsLinksNorKeepsAStaleTemporary) {
  FakeView f;
  ASSERT_EQ(play(f.view, &packet), PLAY_NEW);
  const std::string user = UserFolderGet();
  const std::string outside = TestTempFolder("outside") + "/victim.txt";
  WriteUserFile("victim.src", "not the game's");
  std::filesystem::rename(user + "/victim.src", outside);
  for (const char* name : {SAVEFILENAME ".tmp", SAVEFILENAME}) {
    SCOPED_TRACE(name);
    std::filesystem::remove(user + "/" + name);
    std::filesystem::create_symlink(outside, user + "/" + name);
    EXPECT_TRUE(ShellSaveAtExit(true));
    EXPECT_FALSE(std::filesystem::is_symlink(user + "/" SAVEFILENAME));
    EXPECT_FALSE(std::filesystem::exists(user + "/" SAVEFILENAME ".tmp"));
    std::ifstream in(outside);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), "not the game's");
  }
  // A stale temporary file, as a kill in the middle of a save leaves it.
  WriteUserFile(SAVEFILENAME ".tmp", std::string(100000, 'x'));
  EXPECT_TRUE(ShellSaveAtExit(true));
  EXPECT_FALSE(FileExists(SAVEFILENAME ".tmp", true));
  ForgetWorld();
  EXPECT_EQ(play(f.view, &packet), PLAY_RESUMED);
}

// A save that cannot be read goes aside with the planet it needs, before the new world writes
// its own; once the cause is mended, the three renamed back resume that game.
TEST_F(ShellGame, AKeptSaveKeepsItsPlanetAndResumesOnceMended) {
  FakeView f;
  ASSERT_EQ(play(f.view, &packet), PLAY_NEW);
  ASSERT_TRUE(ShellSaveAtExit(true));
  const double age = wld->m_age;
  ForgetWorld();
  const std::string top = ReadUserFile("custom.top"), geo = ReadUserFile("custom.geo");
  ASSERT_FALSE(top.empty());
  WriteUserFile("custom.top.bad", "a planet kept aside before");
  customParamValues[0] = 2;  // the new game's planet is another one
  fileOpenRefuseHook = RefuseSaveOpen;
  EXPECT_EQ(play(f.view, &packet), PLAY_NEW);
  fileOpenRefuseHook = nullptr;
  EXPECT_NE(wld->globe.m_sz, 272);
  EXPECT_EQ(ReadUserFile("custom.top.bad"), "a planet kept aside before");
  EXPECT_TRUE(ReadUserFile("custom.top.bad.1") == top);
  EXPECT_TRUE(ReadUserFile("custom.geo.bad.1") == geo);
  ForgetWorld();
  const std::string user = UserFolderGet();
  for (const char* name : {SAVEFILENAME, "custom.top", "custom.geo"})
    std::filesystem::rename(user + "/" + name + ".bad.1", user + "/" + name);
  ASSERT_EQ(play(f.view, &packet), PLAY_RESUMED);
  EXPECT_EQ(wld->globe.m_sz, 272);
  EXPECT_DOUBLE_EQ(wld->m_age, age);
}

// Without a user folder nothing can be made or saved: the title screen says so, and which
// variables name one, from the start; a new game is refused there instead of ending the game;
// no dialog points at a log that was never opened.
TEST_F(ShellGame, WithoutAUserFolderTheTitleScreenSaysWhy) {
  FakeView f;
  const std::string user = UserFolderGet();
  ShellUserFolderMissingSet(true);
  FoldersSet("", DataFolderGet());
  EXPECT_NE(std::string(ShellNotice()).find("QUILLOMAR_USER_DIR"), std::string::npos);
  ShellNoticeClear();  // a menu choice clears the notice of the moment, not this one
  EXPECT_NE(std::string(ShellNotice()).find("No user folder"), std::string::npos);
  EXPECT_EQ(play(f.view, &packet), PLAY_FAILED);
  EXPECT_EQ(wld, nullptr);
  EXPECT_NE(std::string(ShellNotice()).find("QUILLOMAR_USER_DIR"), std::string::npos);
  ShellUserFolderMissingSet(false);
  FoldersSet(user.c_str(), DataFolderGet());
  for (const bool logOpen : {false, true}) {
    FILE* saved = logFile;
    logFile = logOpen ? tmpfile() : nullptr;
    char text[512];
    ShellSaveFailedText(text, sizeof(text), user.c_str());
    if (logFile) fclose(logFile);
    logFile = saved;
    EXPECT_EQ(strstr(text, "vyxlog.txt") != nullptr, logOpen) << text;
  }
}

TEST_F(ShellGame, AWonGameIsNotSavedAndItsOldSaveGoes) {
  FakeView f;
  ASSERT_EQ(play(f.view, &packet), PLAY_NEW);
  ASSERT_TRUE(ShellSaveAtExit(true));
  // "gameend" cleared the flag: nothing saved, and the save of before the win is removed.
  wld->m_gameEnded = 1;
  EXPECT_FALSE(ShellSaveAtExit(false));
  EXPECT_FALSE(FileExists(SAVEFILENAME, true));
  ForgetWorld();
  EXPECT_FALSE(ShellSaveAtExit(true));  // no world: nothing to save
}

TEST_F(ShellGame, AnUnsettleablePlanetLeavesNoWorld) {
  FakeView f;
  customParamValues[0] = 0;  // 92 tiles: generation refuses every variant
  {
    CapturedLog log;
    EXPECT_EQ(play(f.view, &packet), PLAY_UNSETTLEABLE);
    EXPECT_TRUE(log.Has("This planet cannot be settled"));
  }
  EXPECT_EQ(wld, nullptr);
  EXPECT_EQ(f.inProgress, 0);
  EXPECT_NE(std::string(ShellNotice()).find("cannot be settled"), std::string::npos);
  EXPECT_GE(f.changes, 1);
  // A planet model that does not load refuses the game too.
  customParamValues[0] = 1;
  f.failLoad = true;
  EXPECT_EQ(play(f.view, &packet), PLAY_FAILED);
  EXPECT_EQ(wld, nullptr);
  EXPECT_FALSE(FileExists(SAVEFILENAME, true));
}

TEST_F(ShellGame, DeletingAGameTakesItsRequestsBackFromTheWorkers) {
  FakeView f;
  ASSERT_TRUE(PlanningServiceStart());
  ASSERT_TRUE(PathingServiceStart());
  MailboxReset();
  int pending = 0;
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(play(f.view, &packet), PLAY_NEW);
    // Frames while the characters ask for plans and paths; the world goes with requests out.
    // The player's character sent to another's tile, as a click would: a path request goes out
    // and is handed to the pathing thread in the next step; the world goes while it is served.
    const int p = wld->actors.FindPlayer();
    const int other = p == 0 ? 1 : 0;
    PlayerWalkTo(wld->actors, wld->actors.m_loca[other]);
    pending += wld->actors.m_pathRequested[p];
    SimFrame(&packet, 1, c_simStep, wld);
    deleteCurrentGame(&f.view);
    EXPECT_EQ(wld, nullptr);
    EXPECT_EQ(PlanningQueueCount(), 0);
    EXPECT_EQ(PathingQueueCount(), 0);
  }
  EXPECT_GT(pending, 0);
  PathingServiceStop();
  PlanningServiceStop();
  MailboxReset();
}

}  // namespace

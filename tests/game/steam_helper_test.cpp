// The store platform and the game's bridge to it: results only inside the per-frame pump, the
// fastest-win boards, refused names and a store file that survives a crash while it is written.
#include "game/steam_helper.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "captured_log.h"
#include "test_support.h"

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int32_t Stat(const char* name) {
  int32_t value = -1;
  EXPECT_TRUE(SteamUserStats()->GetStat(name, &value)) << name;
  return value;
}

class StoreTest : public testing::Test {
 protected:
  void SetUp() override {
    m_folder = TestTempFolder("store");
    const char* previous = getenv("QUILLOMAR_USER_DIR");
    m_previous = previous ? previous : "";
    setenv("QUILLOMAR_USER_DIR", m_folder.c_str(), 1);
  }
  void TearDown() override {
    DestroySteamHelper();
    SteamAPI_Shutdown();
    steamStoreWriteHook = nullptr;
    setenv("QUILLOMAR_USER_DIR", m_previous.c_str(), 1);
  }
  // Starts the platform and the helper and pumps once, as the first frame would.
  void Start() {
    ASSERT_TRUE(SteamAPI_Init());
    CreateSteamHelper(0);
    SteamAPI_RunCallbacks();
  }
  void Restart() {
    DestroySteamHelper();
    SteamAPI_Shutdown();
    Start();
  }
  std::string StoreFile() const { return ReadText(m_folder + "/storestats.dat"); }

  std::string m_folder;
  std::string m_previous;
};

}  // namespace

TEST_F(StoreTest, ResultsArriveOnlyInsideThePump) {
  CapturedLog log;
  ASSERT_TRUE(SteamAPI_Init());
  char folder[256];
  ASSERT_TRUE(SteamUser()->GetUserDataFolder(folder, sizeof(folder)));
  EXPECT_EQ(folder, m_folder);
  char small[4];
  EXPECT_FALSE(SteamUser()->GetUserDataFolder(small, sizeof(small)));
  CreateSteamHelper(0);
  EXPECT_TRUE(log.HasLine("User is logged on to steam."));
  EXPECT_TRUE(log.HasLine("Current Stats were requested."));
  // Nothing has been delivered: no statistics, no boards, no upload.
  int32_t value = 0;
  EXPECT_FALSE(SteamUserStats()->GetStat("s_freed", &value));
  for (SteamLeaderboard_t handle : steamHelper->m_leaderboards) EXPECT_EQ(handle, 0u);
  EXPECT_FALSE(steamHelper->UploadScore("lb_fastestm", 10));
  EXPECT_FALSE(log.Has("Received stats"));
  SteamAPI_RunCallbacks();
  EXPECT_TRUE(log.HasLine("Received stats for gameid 1270"));
  EXPECT_TRUE(log.HasLine("centurianlumber[ ] centurianplanter[ ] centurianmason [ ] centuriangemologist[ ]"));
  EXPECT_TRUE(log.HasLine("completed planets medium/large/jumbo 0/0/0"));
  // The four boards looked up at start are found; the other two are never looked up.
  for (int i = 0; i < 4; ++i) EXPECT_NE(steamHelper->m_leaderboards[i], 0u) << i;
  EXPECT_EQ(steamHelper->m_leaderboards[4], 0u);
  EXPECT_EQ(steamHelper->m_leaderboards[5], 0u);
  EXPECT_TRUE(log.Has("name 'lb_fastestj'."));
  // A stored statistic is reported at the next pump, not at the call.
  UpdateIntStat("intstat name=s_gems delta=1 sync=1");
  EXPECT_FALSE(log.Has("stats successfully stored on server."));
  SteamAPI_RunCallbacks();
  EXPECT_TRUE(log.HasLine("stats successfully stored on server."));
  EXPECT_EQ(Stat("s_gems"), 1);
  // An empty pump delivers nothing.
  log.Clear();
  SteamAPI_RunCallbacks();
  EXPECT_EQ(log.Count(), 0);
}

TEST_F(StoreTest, AWonGameReportsItsBoardAndCompletionOnce) {
  Start();
  CapturedLog log;
  ReportGameEnd("gameend win=1 lose=0 age=1234.500000 tilecount=2432");
  SteamAPI_RunCallbacks();
  EXPECT_EQ(Stat("s_compl_m"), 1);
  EXPECT_NE(StoreFile().find("board lb_fastestm 1235\n"), std::string::npos) << StoreFile();
  EXPECT_NE(StoreFile().find("stat s_compl_m 1\n"), std::string::npos);
  EXPECT_TRUE(log.HasLine("stats successfully stored on server."));
  // The same end delivered again is not counted again.
  ReportGameEnd("gameend win=1 lose=0 age=1234.500000 tilecount=2432");
  SteamAPI_RunCallbacks();
  EXPECT_EQ(Stat("s_compl_m"), 1);
  // A slower win counts a completion but keeps the best time; a faster one replaces it.
  ReportGameEnd("gameend win=1 lose=0 age=2000.000000 tilecount=2432");
  SteamAPI_RunCallbacks();
  EXPECT_EQ(Stat("s_compl_m"), 2);
  EXPECT_NE(StoreFile().find("board lb_fastestm 1235\n"), std::string::npos);
  ReportGameEnd("gameend win=1 lose=0 age=999.499000 tilecount=7292");
  ReportGameEnd("gameend win=1 lose=0 age=1000.400000 tilecount=2432");
  SteamAPI_RunCallbacks();
  EXPECT_NE(StoreFile().find("board lb_fastestm 1000\n"), std::string::npos);
  EXPECT_NE(StoreFile().find("board lb_fastestl 999\n"), std::string::npos);
  EXPECT_EQ(Stat("s_compl_l"), 1);
  // An endless age is held at the board's end rather than wrapping around.
  ReportGameEnd("gameend win=1 lose=0 age=inf tilecount=21872");
  SteamAPI_RunCallbacks();
  EXPECT_NE(StoreFile().find("board lb_fastestj 2147483647\n"), std::string::npos);
  EXPECT_FALSE(log.Has("Failed to upload score"));
  // Everything is there after a restart of the platform.
  Restart();
  EXPECT_EQ(Stat("s_compl_m"), 3);
  EXPECT_EQ(Stat("s_compl_l"), 1);
  EXPECT_EQ(Stat("s_compl_j"), 1);
}

TEST_F(StoreTest, SmallPlanetsAndLostGamesReportNoScore) {
  Start();
  CapturedLog log;
  for (const char* tiles : {"32", "92", "272", "812"}) {
    log.Clear();
    ReportGameEnd((std::string("gameend win=1 lose=0 age=100.000000 tilecount=") + tiles).c_str());
    EXPECT_TRUE(log.HasLine("Planet is too small to report as stat.")) << tiles;
    SteamAPI_RunCallbacks();
    EXPECT_TRUE(log.HasLine("stats successfully stored on server.")) << tiles;
  }
  EXPECT_EQ(StoreFile().find("board "), std::string::npos);
  // A lost game, a missing age or a zero age stores nothing at all.
  for (const char* message : {"gameend win=0 lose=1 age=50.000000 tilecount=2432", "gameend win=1 tilecount=2432",
                              "gameend win=1 lose=0 age=0.000000 tilecount=2432"}) {
    log.Clear();
    ReportGameEnd(message);
    EXPECT_TRUE(log.HasPrefix("Not reporting score. win=")) << message;
    SteamAPI_RunCallbacks();
    EXPECT_FALSE(log.Has("stored on server")) << message;
  }
  EXPECT_EQ(Stat("s_compl_m"), 0);
}

TEST_F(StoreTest, UnknownNamesAreRefused) {
  Start();
  CapturedLog log;
  UpdateIntStat("intstat name=s_bogus delta=1 sync=1");
  EXPECT_TRUE(log.HasLine("Store: there is no integer statistic 's_bogus'."));
  UpdateFloatStat("fltstat name=s_freed val=2.5");
  EXPECT_TRUE(log.HasLine("Store: there is no float statistic 's_freed'."));
  AwardAchievement("achievement name=a_nope");
  EXPECT_TRUE(log.HasLine("Store: there is no achievement 'a_nope'."));
  // Boards the game never looks up, and names it does not have.
  EXPECT_FALSE(steamHelper->UploadScore("lb_lumber", 5));
  EXPECT_FALSE(steamHelper->UploadScore("lb_stone", 5));
  EXPECT_FALSE(steamHelper->UploadScore("lb_nope", 5));
  EXPECT_EQ(SteamUserStats()->UploadLeaderboardScore(12345, k_ELeaderboardUploadScoreMethodKeepBest, 1, nullptr, 0),
            k_uAPICallInvalid);
  const SteamAPICall_t call = SteamUserStats()->FindLeaderboard("lb_nope");
  EXPECT_NE(call, k_uAPICallInvalid);
  EXPECT_TRUE(log.HasLine("Store: there is no leaderboard 'lb_nope'."));
  EXPECT_STREQ(SteamUserStats()->GetLeaderboardName(0), "");
  // A known achievement is set and stored, with its own result at the next pump.
  log.Clear();
  AwardAchievement("achievement name=a_centurianmason");
  SteamAPI_RunCallbacks();
  EXPECT_TRUE(log.HasLine("OnAchievementStored()"));
  bool achieved = false;
  EXPECT_TRUE(SteamUserStats()->GetAchievement("a_centurianmason", &achieved));
  EXPECT_TRUE(achieved);
  // Statistics: a value sets, a delta adds, only sync stores.
  UpdateIntStat("intstat name=s_freepop val=7 sync=1");
  UpdateIntStat("intstat name=s_freed delta=1");
  UpdateIntStat("intstat name=s_freed delta=2");
  EXPECT_EQ(Stat("s_freepop"), 7);
  EXPECT_EQ(Stat("s_freed"), 3);
  EXPECT_NE(StoreFile().find("stat s_freepop 7\n"), std::string::npos);
  EXPECT_NE(StoreFile().find("stat s_freed 0\n"), std::string::npos);
  SyncStats("statsync");
  EXPECT_NE(StoreFile().find("stat s_freed 3\n"), std::string::npos);
  // Pages are logged; every board opens the same leaderboards page.
  ShowLeaderboard("showboard name=lb_stone");
  EXPECT_TRUE(log.HasLine("Showing leader board lb_stone"));
  const std::string page = SteamOverlayPageLast();
  ShowLeaderboard("showboard name=lb_fastestm");
  EXPECT_EQ(page, SteamOverlayPageLast());
  ShowGuide("");
  EXPECT_NE(page, SteamOverlayPageLast());
  EXPECT_TRUE(log.Has("Store overlay page: "));
}

TEST_F(StoreTest, TheStoreFileSurvivesACrashWhileItIsWritten) {
  Start();
  UpdateIntStat("intstat name=s_roads delta=5 sync=1");
  ReportGameEnd("gameend win=1 lose=0 age=300.000000 tilecount=21872");
  SteamAPI_RunCallbacks();
  const std::string before = StoreFile();
  ASSERT_NE(before.find("stat s_roads 5\n"), std::string::npos);
  // The child dies with the replacement half written. Forked without a new program image, so it
  // writes in this test's folder.
  GTEST_FLAG_SET(death_test_style, "fast");
  EXPECT_EXIT(
      {
        steamStoreWriteHook = [] { _exit(9); };
        UpdateIntStat("intstat name=s_roads delta=100 sync=1");
      },
      testing::ExitedWithCode(9), "");
  EXPECT_EQ(StoreFile(), before);
  const std::string half = ReadText(m_folder + "/storestats.tmp");
  EXPECT_FALSE(half.empty());
  EXPECT_LT(half.size(), before.size());
  // The next run reads the old values, and its next store replaces the leftover.
  Restart();
  EXPECT_EQ(Stat("s_roads"), 5);
  EXPECT_EQ(Stat("s_compl_j"), 1);
  UpdateIntStat("intstat name=s_roads delta=1 sync=1");
  Restart();
  EXPECT_EQ(Stat("s_roads"), 6);
  EXPECT_NE(StoreFile().find("board lb_fastestj 300\n"), std::string::npos);
  EXPECT_NE(access((m_folder + "/storestats.tmp").c_str(), F_OK), 0);
}

// What stands under the store's names is not trusted: a FIFO as the store file once blocked the
// start for good, and a link at the temporary name had the record written outside the folder.
TEST_F(StoreTest, AFifoOrALinkUnderTheStoresNamesIsNotFollowed) {
  ASSERT_EQ(mkfifo((m_folder + "/storestats.dat").c_str(), 0600), 0);
  // In a child that a blocked open would keep from ending; the bound is far above any start.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        alarm(60);
        CapturedLog log;
        SteamAPI_Init();
        _exit(log.Has("storestats.dat is not a regular file") ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  unlink((m_folder + "/storestats.dat").c_str());
  const std::string outside = TestTempFolder("storeoutside") + "/victim.txt";
  std::ofstream(outside) << "keep me";
  ASSERT_EQ(symlink(outside.c_str(), (m_folder + "/storestats.tmp").c_str()), 0);
  Start();
  UpdateIntStat("intstat name=s_roads delta=5 sync=1");
  SteamAPI_RunCallbacks();
  EXPECT_EQ(ReadText(outside), "keep me");
  EXPECT_NE(StoreFile().find("stat s_roads 5\n"), std::string::npos);
}

TEST_F(StoreTest, AHostileStoreFileIsReadWithCare) {
  {
    std::ofstream out(m_folder + "/storestats.dat");
    out << "not a store\nstat s_gems 4\nstat s_gems\nstat s_nope 3\nboard lb_fastestm 99999999999\n"
           "achievement a_centurianlumber 1\nboard lb_fastestl -5 extra\n\n\x01\x02garbage\nstat s_roads 2";
  }
  CapturedLog log;
  Start();
  EXPECT_EQ(Stat("s_gems"), 4);
  EXPECT_EQ(Stat("s_roads"), 2);  // a last line without its line feed
  bool achieved = false;
  EXPECT_TRUE(SteamUserStats()->GetAchievement("a_centurianlumber", &achieved));
  EXPECT_TRUE(achieved);
  EXPECT_TRUE(log.Has("does not start with 'quillomar store 1'"));
  EXPECT_TRUE(log.Has("names nothing the game has: stat s_nope 3"));
  EXPECT_TRUE(log.Has("is not understood: board lb_fastestm 99999999999"));
  EXPECT_TRUE(log.Has("is not understood: board lb_fastestl -5 extra"));
  // The board that could not be read takes the next score.
  ReportGameEnd("gameend win=1 lose=0 age=60.000000 tilecount=2432");
  SteamAPI_RunCallbacks();
  EXPECT_NE(StoreFile().find("board lb_fastestm 60\n"), std::string::npos);
}

// The game's bridge to the store platform: statistics and achievements from the world's messages,
// the fastest-win boards, and the guide and leaderboard pages.
#pragma once

#include <cstdint>

#include "system/steam_api.h"

// Boards in handle-slot order.
constexpr int c_leaderboardCount = 6;
extern const char* const c_leaderboardNames[c_leaderboardCount];

class SteamHelper {
 public:
  SteamHelper();
  virtual ~SteamHelper();
  SteamHelper(const SteamHelper&) = delete;
  SteamHelper& operator=(const SteamHelper&) = delete;

  // Platform results, delivered inside SteamAPI_RunCallbacks.
  void OnUserStatsReceived(UserStatsReceived_t* result);
  void OnUserStatsStored(UserStatsStored_t* result);
  void OnAchievementStored(UserAchievementStored_t* result);
  void OnFindLeaderboard(LeaderboardFindResult_t* result, bool ioFailure);
  void OnUploadScore(LeaderboardScoreUploaded_t* result, bool ioFailure);

  // Adds delta to the statistic. False (with a log line) without statistics, for a name the
  // platform refuses, or before the statistics arrived: a value that could not be read is never
  // overwritten.
  bool AddIntStat(const char* name, int32_t delta);
  bool AddFloatStat(const char* name, float delta);
  // Starts an upload of the score to the named board, keeping the best; false for a board not
  // found (yet) or when the platform refuses.
  bool UploadScore(const char* board, int32_t score);

  SteamLeaderboard_t m_leaderboards[c_leaderboardCount] = {};  // 0 until found
  ISteamUser* m_user = nullptr;
  ISteamUserStats* m_stats = nullptr;

  // The last game end reported, so that the same end delivered twice is counted once.
  bool m_endReported = false;
  float m_endAge = 0.0f;
  int32_t m_endTiles = 0;

 private:
  CCallback<SteamHelper, UserStatsReceived_t> m_statsReceived;
  CCallback<SteamHelper, UserStatsStored_t> m_statsStored;
  CCallback<SteamHelper, UserAchievementStored_t> m_achievementStored;
  CCallResult<SteamHelper, LeaderboardFindResult_t> m_findResults[4];
  CCallResult<SteamHelper, LeaderboardScoreUploaded_t> m_uploadResult;
};

// The one helper, made at start-up; null before.
extern SteamHelper* steamHelper;

// Makes the helper (replacing an earlier one). With a non-zero reset flag and statistics, resets
// them all and logs "Steam stats were %s".
void CreateSteamHelper(int reset);
// Destroys the helper; for the end of the process and for tests.
void DestroySteamHelper();
// Stores the statistics when both interfaces exist; a refusal logs "StoreStats() failed.".
void StoreStats(SteamHelper* helper);
// StoreStats on the helper when there is one: shut-down.
void StoreStatsAtExit();
// StoreStats on the helper ("statsync" and the Escape key). The message is not read.
void SyncStats(const char* message);
// "intstat name=%s [val=%d] [delta=%d] [sync=1]"
void UpdateIntStat(const char* message);
// "fltstat name=%s [val=%f] [delta=%f]"; never stores.
void UpdateFloatStat(const char* message);
// "achievement name=%s": sets and stores it.
void AwardAchievement(const char* message);
// "gameend win=%d lose=%d age=%f tilecount=%d": a won game's age, rounded, goes to the board of its
// planet size, and the size's completions grow by one. Reported once per game end.
void ReportGameEnd(const char* message);
// The guide page; the text is not read.
void ShowGuide(const char* text);
// "showboard name=%s": logs the board and opens the leaderboards page.
void ShowLeaderboard(const char* message);

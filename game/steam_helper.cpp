// The game's bridge to the store platform: statistics, achievements, boards and pages.
#include "game/steam_helper.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "utility/log.h"
#include "utility/message_codec.h"

const char* const c_leaderboardNames[c_leaderboardCount] = {"lb_fastestwin", "lb_fastestm", "lb_fastestl",
                                                            "lb_fastestj",   "lb_lumber",   "lb_stone"};

SteamHelper* steamHelper = nullptr;

namespace {

const char* const c_guidePage = "https://quillomar.example/community/guide";
const char* const c_leaderboardsPage = "https://quillomar.example/community/leaderboards";

// The text after the message's keyword, where keys are searched.
const char* AfterKeyword(const char* message) {
  if (!message) return "";
  const char* blank = strchr(message, ' ');
  return blank ? blank : message + strlen(message);
}

// Where the value of "key=" starts, or null when the key is missing.
const char* KeyValue(const char* message, const char* key) {
  char pattern[32];
  snprintf(pattern, sizeof(pattern), "%s=", key);
  const char* at = strstr(AfterKeyword(message), pattern);
  return at ? at + strlen(pattern) : nullptr;
}

// A float by atof rules; the most negative float when the key is missing.
float FloatValue(const char* message, const char* key) {
  const char* value = KeyValue(message, key);
  return value ? static_cast<float>(atof(value)) : -FLT_MAX;
}

// A word value, ending at a blank, a line feed or the end, cut to size - 1 characters.
void WordValue(const char* message, const char* key, char* out, size_t size) {
  out[0] = 0;
  const char* value = KeyValue(message, key);
  if (!value) return;
  size_t n = strcspn(value, " \n");
  if (n >= size) n = size - 1;
  memcpy(out, value, n);
  out[n] = 0;
}

int32_t AddClamped(int32_t a, int32_t b) {
  const int64_t sum = static_cast<int64_t>(a) + b;
  return sum > INT32_MAX ? INT32_MAX : sum < INT32_MIN ? INT32_MIN : static_cast<int32_t>(sum);
}

}  // namespace

SteamHelper::SteamHelper()
    : m_statsReceived(this, &SteamHelper::OnUserStatsReceived),
      m_statsStored(this, &SteamHelper::OnUserStatsStored),
      m_achievementStored(this, &SteamHelper::OnAchievementStored) {
  m_user = SteamUser();
  if (!m_user) return;
  LOGI("User %s logged on to steam.", m_user->BLoggedOn() ? "is" : "is not");
  m_stats = SteamUserStats();
  LOGI("We %s stats for user.", m_stats ? "have" : "have no");
  if (!m_stats) return;
  LOGI("Current Stats were %s.", m_stats->RequestCurrentStats() ? "requested" : "not requested");
  for (int i = 0; i < 4; ++i) {
    const SteamAPICall_t call = m_stats->FindLeaderboard(c_leaderboardNames[i]);
    if (call != k_uAPICallInvalid) m_findResults[i].Set(call, this, &SteamHelper::OnFindLeaderboard);
  }
}

SteamHelper::~SteamHelper() = default;

void SteamHelper::OnFindLeaderboard(LeaderboardFindResult_t* result, bool ioFailure) {
  if (!result || !result->m_bLeaderboardFound || ioFailure || !m_stats) {
    LOGE("Failed to find leaderboard.");
    return;
  }
  const char* name = m_stats->GetLeaderboardName(result->m_hSteamLeaderboard);
  LOGI("Found leaderboard with handle %llu, name '%s'.", static_cast<unsigned long long>(result->m_hSteamLeaderboard),
       name);
  for (int i = 0; i < c_leaderboardCount; ++i)
    if (!strcmp(name, c_leaderboardNames[i])) m_leaderboards[i] = result->m_hSteamLeaderboard;
}

void SteamHelper::OnUserStatsReceived(UserStatsReceived_t* result) {
  if (!m_stats) {
    LOGE("No stats, yet we got a UserStatsReceived callback?");
    return;
  }
  LOGI("Received stats for gameid %d", static_cast<int>(result->m_nGameID));
  if (result->m_eResult != k_EResultOK) {
    LOGI("UserStats failed to be received (%d).", static_cast<int>(result->m_eResult));
    return;
  }
  LOGI("Received %d achievements.", static_cast<int>(m_stats->GetNumAchievements()));
  const char* achievements[4] = {"a_centurianlumber", "a_centurianplanter", "a_centurianmason",
                                 "a_centuriangemologist"};
  bool got[4] = {};
  for (int i = 0; i < 4; ++i) m_stats->GetAchievement(achievements[i], &got[i]);
  LOGI("centurianlumber[%c] centurianplanter[%c] centurianmason [%c] centuriangemologist[%c]", got[0] ? 'X' : ' ',
       got[1] ? 'X' : ' ', got[2] ? 'X' : ' ', got[3] ? 'X' : ' ');
  const char* names[13] = {"s_freed",        "s_roads",         "s_bridges", "s_factories", "s_treeskilled",
                           "s_treesplanted", "s_rocksquarried", "s_gems",    "s_crownings", "s_freepop",
                           "s_compl_m",      "s_compl_l",       "s_compl_j"};
  int32_t v[13] = {};
  for (int i = 0; i < 13; ++i) m_stats->GetStat(names[i], &v[i]);
  LOGI(
      "freed %d, roads %d, bridges %d, factories %d treeskilled %d treesplanted %d rocksquarried %d gems %d "
      "crownings %d freepop %d",
      v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]);
  LOGI("completed planets medium/large/jumbo %d/%d/%d", v[10], v[11], v[12]);
}

void SteamHelper::OnUserStatsStored(UserStatsStored_t* result) {
  if (result->m_eResult == k_EResultOK) {
    LOGI("stats successfully stored on server.");
  } else {
    LOGE("stats failed to be stored on server (%d).", static_cast<int>(result->m_eResult));
  }
}

void SteamHelper::OnAchievementStored(UserAchievementStored_t*) { LOGI("OnAchievementStored()"); }

void SteamHelper::OnUploadScore(LeaderboardScoreUploaded_t*, bool ioFailure) {
  if (ioFailure) LOGE("Failed to upload score.");
}

bool SteamHelper::AddIntStat(const char* name, int32_t delta) {
  if (!m_stats) {
    LOGE("No stats.");
    return false;
  }
  int32_t value = 0;
  if (!m_stats->GetStat(name, &value)) {
    LOGE("The statistic %s could not be read; %d not added.", name, delta);
    return false;
  }
  return m_stats->SetStat(name, AddClamped(value, delta));
}

bool SteamHelper::AddFloatStat(const char* name, float delta) {
  if (!m_stats) {
    LOGE("No stats.");
    return false;
  }
  float value = 0.0f;
  if (!m_stats->GetStat(name, &value)) {
    LOGE("The statistic %s could not be read; %g not added.", name, delta);
    return false;
  }
  return m_stats->SetStat(name, value + delta);
}

bool SteamHelper::UploadScore(const char* board, int32_t score) {
  SteamLeaderboard_t handle = 0;
  for (int i = 0; board && i < c_leaderboardCount; ++i)
    if (!strcmp(board, c_leaderboardNames[i])) handle = m_leaderboards[i];
  if (handle == 0 || !m_stats) return false;
  const SteamAPICall_t call =
      m_stats->UploadLeaderboardScore(handle, k_ELeaderboardUploadScoreMethodKeepBest, score, nullptr, 0);
  if (call == k_uAPICallInvalid) return false;
  m_uploadResult.Set(call, this, &SteamHelper::OnUploadScore);
  return true;
}

void CreateSteamHelper(int reset) {
  DestroySteamHelper();
  steamHelper = new SteamHelper();
  if (reset) {
    const bool done = steamHelper->m_stats && steamHelper->m_stats->ResetAllStats(true);
    LOGI("Steam stats were %s", done ? "reset" : "not reset");
  }
}

void DestroySteamHelper() {
  delete steamHelper;
  steamHelper = nullptr;
}

void StoreStats(SteamHelper* helper) {
  if (!helper || !helper->m_user || !helper->m_stats) return;
  if (!helper->m_stats->StoreStats()) LOGI("StoreStats() failed.");
}

void StoreStatsAtExit() {
  if (steamHelper) StoreStats(steamHelper);
}

void SyncStats(const char*) { StoreStats(steamHelper); }

void UpdateIntStat(const char* message) {
  SteamHelper* h = steamHelper;
  if (!h) return;
  char name[80];
  WordValue(message, "name", name, sizeof(name));
  const int32_t val = MessageIntValue(message, "val");
  const int32_t delta = MessageIntValue(message, "delta");
  if (val != c_messageIntAbsent && h->m_stats) {
    int32_t stored = 0;
    if (h->m_stats->GetStat(name, &stored) && stored != val) h->m_stats->SetStat(name, val);
  }
  if (delta != c_messageIntAbsent) h->AddIntStat(name, delta);
  if (KeyValue(message, "sync")) StoreStats(h);
}

void UpdateFloatStat(const char* message) {
  SteamHelper* h = steamHelper;
  if (!h) return;
  char name[80];
  WordValue(message, "name", name, sizeof(name));
  const float val = FloatValue(message, "val");
  const float delta = FloatValue(message, "delta");
  if (val > -2147483648.0f && h->m_stats) h->m_stats->SetStat(name, val);
  if (delta > -2147483648.0f) h->AddFloatStat(name, delta);
}

void AwardAchievement(const char* message) {
  SteamHelper* h = steamHelper;
  if (!h || !h->m_user || !h->m_stats) return;
  char name[80];
  WordValue(message, "name", name, sizeof(name));
  if (h->m_stats->SetAchievement(name)) h->m_stats->StoreStats();
}

void ReportGameEnd(const char* message) {
  const int32_t win = MessageIntValue(message, "win");
  const float age = FloatValue(message, "age");
  const int32_t tiles = MessageIntValue(message, "tilecount");
  if (win < 1 || !(age > 0.0f)) {
    LOGI("Not reporting score. win=%d, age=%f", win, age);
    return;
  }
  SteamHelper* h = steamHelper;
  if (!h) {
    LOGE("No stats.");
    return;
  }
  // The simulation says it once, but a repeated delivery must not count a second completion.
  if (h->m_endReported && h->m_endAge == age && h->m_endTiles == tiles) {
    LOGI("Game end at age %f on %d tiles was already reported.", age, tiles);
    return;
  }
  h->m_endReported = true;
  h->m_endAge = age;
  h->m_endTiles = tiles;
  // Halves away from zero; an age beyond the board's range is held at its end.
  const double seconds = age < 2147483647.0f ? static_cast<double>(age) : 2147483647.0;
  const int32_t score = static_cast<int32_t>(std::lround(seconds));
  const char* board = nullptr;
  const char* stat = nullptr;
  switch (tiles) {
    case 32:
    case 92:
    case 272:
    case 812:
      LOGI("Planet is too small to report as stat.");
      break;
    case 2432:
      board = "lb_fastestm";
      stat = "s_compl_m";
      break;
    case 7292:
      board = "lb_fastestl";
      stat = "s_compl_l";
      break;
    case 21872:
      board = "lb_fastestj";
      stat = "s_compl_j";
      break;
    default:
      break;
  }
  if (board) {
    if (!h->UploadScore(board, score)) LOGE("Failed to upload score to steam.");
    h->AddIntStat(stat, 1);
  }
  StoreStats(h);
}

void ShowGuide(const char*) {
  ISteamFriends* friends = SteamFriends();
  if (friends) friends->ActivateGameOverlayToWebPage(c_guidePage);
}

void ShowLeaderboard(const char* message) {
  char name[128];
  WordValue(message, "name", name, sizeof(name));
  LOGI("Showing leader board %s", name);
  ISteamFriends* friends = SteamFriends();
  if (friends) friends->ActivateGameOverlayToWebPage(c_leaderboardsPage);
}

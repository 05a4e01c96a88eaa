// A local store platform: statistics, achievements and best scores in a file in the user folder.
#include "system/steam_api.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "system/file.h"
#include "utility/fixed_string.h"
#include "utility/log.h"

void (*steamStoreWriteHook)() = nullptr;

namespace {

// The game's configuration on the platform: the names it may use.
const char* const c_intStats[] = {"s_freed",        "s_roads",         "s_bridges", "s_factories", "s_treeskilled",
                                  "s_treesplanted", "s_rocksquarried", "s_gems",    "s_crownings", "s_freepop",
                                  "s_compl_m",      "s_compl_l",       "s_compl_j"};
const char* const c_achievements[] = {"a_centurianlumber", "a_centurianplanter", "a_centurianmason",
                                      "a_centuriangemologist"};
struct BoardDef {
  const char* name;
  bool ascending;  // a lower score is better (the fastest wins)
};
const BoardDef c_boards[] = {{"lb_fastestwin", true}, {"lb_fastestm", true}, {"lb_fastestl", true},
                             {"lb_fastestj", true},   {"lb_lumber", false},  {"lb_stone", false}};
constexpr int c_intStatCount = sizeof(c_intStats) / sizeof(c_intStats[0]);
constexpr int c_achievementCount = sizeof(c_achievements) / sizeof(c_achievements[0]);
constexpr int c_boardCount = sizeof(c_boards) / sizeof(c_boards[0]);
// Board handles are the board's number plus this, so that 0 stays "none".
constexpr SteamLeaderboard_t c_boardHandleBase = 0x5100;

const char* const c_storeFile = "storestats.dat";
const char* const c_storeTemp = "storestats.tmp";
const char* const c_storeHeader = "quillomar store 1";
constexpr int c_storeTextLimit = 4096;

// What the platform keeps for the player: the stored copy stands for the server's.
struct Record {
  int32_t stats[c_intStatCount];
  bool achievements[c_achievementCount];
  int32_t boards[c_boardCount];
  bool boardSet[c_boardCount];
};

struct Pending {
  int kind;
  SteamAPICall_t call;  // 0 for a result every callback of its kind gets
  bool ioFailure;
  union {
    UserStatsReceived_t received;
    UserStatsStored_t stored;
    UserAchievementStored_t achievement;
    LeaderboardFindResult_t find;
    LeaderboardScoreUploaded_t uploaded;
  } data;
};

struct Listener {
  CCallbackBase* target;
  int kind;             // callbacks
  SteamAPICall_t call;  // call results
};

struct Platform {
  bool running = false;
  bool statsReady = false;
  bool requested = false;
  FixedString folder;
  Record stored = {};
  Record current = {};
  Pending pending[c_storePendingLimit];
  int pendingCount = 0;
  SteamAPICall_t nextCall = 1;
  Listener callbacks[c_storeListenerLimit] = {};
  Listener results[c_storeListenerLimit] = {};
  char lastPage[256] = {};
};

Platform platform;
ISteamUser userInterface;
ISteamUserStats statsInterface;
ISteamFriends friendsInterface;

int FindName(const char* const* names, int count, const char* name) {
  for (int i = 0; name && i < count; ++i)
    if (!strcmp(names[i], name)) return i;
  return -1;
}

int FindBoard(const char* name) {
  for (int i = 0; name && i < c_boardCount; ++i)
    if (!strcmp(c_boards[i].name, name)) return i;
  return -1;
}

int IntStat(const char* name) {
  const int i = FindName(c_intStats, c_intStatCount, name);
  if (i < 0) LOGE("Store: there is no integer statistic '%s'.", name ? name : "");
  return i;
}

int Achievement(const char* name) {
  const int i = FindName(c_achievements, c_achievementCount, name);
  if (i < 0) LOGE("Store: there is no achievement '%s'.", name ? name : "");
  return i;
}

Pending* Queue(int kind, SteamAPICall_t call) {
  if (platform.pendingCount >= c_storePendingLimit) {
    LOGE("Store: %d results are waiting to be delivered; result %d dropped.", platform.pendingCount, kind);
    return nullptr;
  }
  Pending* p = &platform.pending[platform.pendingCount++];
  memset(p, 0, sizeof(*p));
  p->kind = kind;
  p->call = call;
  return p;
}

// "<folder>/<name>"; false when it does not fit.
bool PathMake(char (&out)[512], const char* name) {
  const int n = snprintf(out, sizeof(out), "%s/%s", platform.folder.c_str(), name);
  return n > 0 && n < static_cast<int>(sizeof(out));
}

// Writes the record to a temporary file, pushes it to the disk and renames it over the store
// file: a crash at any point leaves either the old file or the new one, never half of one.
bool RecordWrite(const Record& record) {
  char text[c_storeTextLimit];
  int len = snprintf(text, sizeof(text), "%s\n", c_storeHeader);
  for (int i = 0; i < c_intStatCount; ++i)
    len += snprintf(text + len, sizeof(text) - len, "stat %s %d\n", c_intStats[i], record.stats[i]);
  for (int i = 0; i < c_achievementCount; ++i)
    len += snprintf(text + len, sizeof(text) - len, "achievement %s %d\n", c_achievements[i],
                    record.achievements[i] ? 1 : 0);
  for (int i = 0; i < c_boardCount; ++i) {
    if (record.boardSet[i])
      len += snprintf(text + len, sizeof(text) - len, "board %s %d\n", c_boards[i].name, record.boards[i]);
  }
  char temp[512], path[512];
  if (!PathMake(temp, c_storeTemp) || !PathMake(path, c_storeFile)) {
    LOGE("Store: the store file's path does not fit: %s", platform.folder.c_str());
    return false;
  }
  // A stale temporary file (or a link planted under its name) is removed, and the new one is
  // created exclusively: nothing that was there is written through.
  if (unlink(temp) != 0 && errno != ENOENT) LOGW("Store: could not remove %s: %s", temp, strerror(errno));
  const FileHandle file = FileOpenPath(temp, FA_WRITE, FC_CREATE_NEW);
  if (!file) {
    LOGE("Store: could not write %s: %s", temp, strerror(errno));
    return false;
  }
  const size_t half = static_cast<size_t>(len) / 2;
  bool ok = FileWrite(file, text, half) == half;
  if (steamStoreWriteHook) steamStoreWriteHook();
  ok = ok && FileWrite(file, text + half, static_cast<size_t>(len) - half) == static_cast<size_t>(len) - half;
  ok = ok && FileFlush(file);
  FileClose(file);
  if (!ok) {
    LOGE("Store: could not write %s: %s", temp, strerror(errno));
    unlink(temp);
    return false;
  }
  if (rename(temp, path) != 0) {
    LOGE("Store: could not replace %s: %s", path, strerror(errno));
    unlink(temp);
    return false;
  }
  // The rename itself reaches the disk with the folder.
  const int dir = open(platform.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

// Reads the store file. A missing file is a new player; lines that cannot be understood are
// logged and skipped. False when the file is there but cannot be read.
bool RecordRead(Record* record) {
  memset(record, 0, sizeof(*record));
  char path[512];
  if (!PathMake(path, c_storeFile)) return false;
  // Through the file layer: a FIFO of that name would otherwise block the start for good.
  const FileHandle file = FileOpenPath(path, FA_READ, FC_OPEN_EXISTING);
  if (!file) {
    struct stat info;
    if (lstat(path, &info) != 0 && errno == ENOENT) return true;
    LOGE("Store: could not read %s: %s", path, strerror(errno));
    return false;
  }
  char text[c_storeTextLimit * 2];
  const size_t len = FileRead(file, text, sizeof(text) - 1);
  FileClose(file);
  text[len] = 0;
  int lineNumber = 0;
  for (char* line = text; line && line < text + len;) {
    char* next = strchr(line, '\n');
    if (next) *next++ = 0;
    ++lineNumber;
    if (!line[0]) {
      line = next;
      continue;
    }
    char kind[16], name[64];
    long long value = 0;
    char extra = 0;
    const int got = sscanf(line, "%15s %63s %lld %c", kind, name, &value, &extra);
    if (lineNumber == 1) {
      if (strcmp(line, c_storeHeader) != 0) LOGW("Store: %s does not start with '%s'.", path, c_storeHeader);
      if (strncmp(line, "quillomar store", 15) == 0) {
        line = next;
        continue;
      }
    }
    int i = -1;
    if (got != 3 || value < INT_MIN || value > INT_MAX) {
      LOGW("Store: line %d of %s is not understood: %.60s", lineNumber, path, line);
    } else if (!strcmp(kind, "stat") && (i = FindName(c_intStats, c_intStatCount, name)) >= 0) {
      record->stats[i] = static_cast<int32_t>(value);
    } else if (!strcmp(kind, "achievement") && (i = FindName(c_achievements, c_achievementCount, name)) >= 0) {
      record->achievements[i] = value != 0;
    } else if (!strcmp(kind, "board") && (i = FindBoard(name)) >= 0) {
      record->boards[i] = static_cast<int32_t>(value);
      record->boardSet[i] = true;
    } else {
      LOGW("Store: line %d of %s names nothing the game has: %.60s", lineNumber, path, line);
    }
    line = next;
  }
  return true;
}

bool Better(int board, int32_t score, int32_t old) { return c_boards[board].ascending ? score < old : score > old; }

}  // namespace

bool SteamAPI_RegisterCallback(CCallbackBase* callback, int kind) {
  for (Listener& l : platform.callbacks) {
    if (!l.target) {
      l = {callback, kind, 0};
      return true;
    }
  }
  LOGE("Store: no room for another callback.");
  return false;
}

void SteamAPI_UnregisterCallback(CCallbackBase* callback) {
  for (Listener& l : platform.callbacks)
    if (l.target == callback) l = {};
}

bool SteamAPI_RegisterCallResult(CCallbackBase* result, SteamAPICall_t call) {
  if (call == k_uAPICallInvalid) return false;
  for (Listener& l : platform.results) {
    if (!l.target) {
      l = {result, 0, call};
      return true;
    }
  }
  LOGE("Store: no room for another call result.");
  return false;
}

void SteamAPI_UnregisterCallResult(CCallbackBase* result, SteamAPICall_t call) {
  for (Listener& l : platform.results)
    if (l.target == result && l.call == call) l = {};
}

bool SteamAPI_Init() {
  if (platform.running) return true;
  FixedString folder;
  if (!UserFolderResolve(&folder)) {
    LOGE("Store: no user folder, so no statistics.");
    return false;
  }
  platform.folder = folder;
  platform.pendingCount = 0;
  platform.statsReady = false;
  platform.requested = false;
  platform.lastPage[0] = 0;
  // A file that cannot be read leaves the platform stopped rather than overwriting it later.
  if (!RecordRead(&platform.stored)) return false;
  platform.current = platform.stored;
  platform.running = true;
  return true;
}

void SteamAPI_Shutdown() {
  platform.running = false;
  platform.statsReady = false;
  platform.requested = false;
  platform.pendingCount = 0;
}

void SteamAPI_RunCallbacks() {
  // Only what was pending on entry: results of calls made by the callbacks wait for the next pump.
  const int count = platform.pendingCount;
  if (count == 0) return;
  Pending delivering[c_storePendingLimit];
  memcpy(delivering, platform.pending, sizeof(Pending) * count);
  memmove(platform.pending, platform.pending + count, sizeof(Pending) * (platform.pendingCount - count));
  platform.pendingCount -= count;
  for (int i = 0; i < count; ++i) {
    const Pending& p = delivering[i];
    if (p.kind == UserStatsReceived_t::k_iCallback) platform.statsReady = platform.running;
    if (p.call != k_uAPICallInvalid) {
      for (Listener& l : platform.results) {
        if (l.target && l.call == p.call) {
          CCallbackBase* target = l.target;
          l = {};
          target->Run(&p.data, p.ioFailure);
          break;
        }
      }
      continue;
    }
    // A callback may remove itself or another while this runs: each slot is read when reached.
    for (Listener& l : platform.callbacks)
      if (l.target && l.kind == p.kind) l.target->Run(&p.data, p.ioFailure);
  }
}

ISteamUser* SteamUser() { return platform.running ? &userInterface : nullptr; }
ISteamUserStats* SteamUserStats() { return platform.running ? &statsInterface : nullptr; }
ISteamFriends* SteamFriends() { return platform.running ? &friendsInterface : nullptr; }
const char* SteamOverlayPageLast() { return platform.lastPage; }

bool ISteamUser::BLoggedOn() { return platform.running; }

bool ISteamUser::GetUserDataFolder(char* buffer, int size) {
  if (!buffer || size <= 0) return false;
  buffer[0] = 0;
  if (!platform.running || platform.folder.Length() >= size) return false;
  memcpy(buffer, platform.folder.c_str(), platform.folder.Length() + 1);
  return true;
}

bool ISteamUserStats::RequestCurrentStats() {
  if (!platform.running) return false;
  Pending* p = Queue(UserStatsReceived_t::k_iCallback, 0);
  if (!p) return false;
  p->data.received = {c_storeGameId, k_EResultOK};
  platform.requested = true;
  return true;
}

bool ISteamUserStats::GetStat(const char* name, int32_t* value) {
  if (!value) return false;
  const int i = IntStat(name);
  if (i < 0 || !platform.statsReady) return false;
  *value = platform.current.stats[i];
  return true;
}

bool ISteamUserStats::GetStat(const char* name, float* value) {
  // The game has no float statistics.
  (void)value;
  LOGE("Store: there is no float statistic '%s'.", name ? name : "");
  return false;
}

bool ISteamUserStats::SetStat(const char* name, int32_t value) {
  const int i = IntStat(name);
  if (i < 0 || !platform.statsReady) return false;
  platform.current.stats[i] = value;
  return true;
}

bool ISteamUserStats::SetStat(const char* name, float) {
  LOGE("Store: there is no float statistic '%s'.", name ? name : "");
  return false;
}

bool ISteamUserStats::GetAchievement(const char* name, bool* achieved) {
  if (!achieved) return false;
  const int i = Achievement(name);
  if (i < 0 || !platform.statsReady) return false;
  *achieved = platform.current.achievements[i];
  return true;
}

bool ISteamUserStats::SetAchievement(const char* name) {
  const int i = Achievement(name);
  if (i < 0 || !platform.statsReady) return false;
  platform.current.achievements[i] = true;
  return true;
}

uint32_t ISteamUserStats::GetNumAchievements() { return c_achievementCount; }

bool ISteamUserStats::StoreStats() {
  if (!platform.running || !platform.statsReady) return false;
  Record next = platform.stored;
  memcpy(next.stats, platform.current.stats, sizeof(next.stats));
  memcpy(next.achievements, platform.current.achievements, sizeof(next.achievements));
  const bool ok = RecordWrite(next);
  if (ok) {
    for (int i = 0; i < c_achievementCount; ++i) {
      if (!next.achievements[i] || platform.stored.achievements[i]) continue;
      Pending* a = Queue(UserAchievementStored_t::k_iCallback, 0);
      if (!a) break;
      a->data.achievement.m_nGameID = c_storeGameId;
      snprintf(a->data.achievement.m_rgchAchievementName, sizeof(a->data.achievement.m_rgchAchievementName), "%s",
               c_achievements[i]);
    }
    platform.stored = next;
  }
  Pending* p = Queue(UserStatsStored_t::k_iCallback, 0);
  if (p) p->data.stored = {c_storeGameId, ok ? k_EResultOK : k_EResultFail};
  return true;
}

bool ISteamUserStats::ResetAllStats(bool achievementsToo) {
  if (!platform.running || !platform.statsReady) return false;
  memset(platform.current.stats, 0, sizeof(platform.current.stats));
  if (achievementsToo) {
    memset(platform.current.achievements, 0, sizeof(platform.current.achievements));
    // A reset achievement may be stored anew later.
    memset(platform.stored.achievements, 0, sizeof(platform.stored.achievements));
  }
  return StoreStats();
}

SteamAPICall_t ISteamUserStats::FindLeaderboard(const char* name) {
  if (!platform.running) return k_uAPICallInvalid;
  const int board = FindBoard(name);
  if (board < 0) LOGE("Store: there is no leaderboard '%s'.", name ? name : "");
  const SteamAPICall_t call = platform.nextCall;
  Pending* p = Queue(LeaderboardFindResult_t::k_iCallback, call);
  if (!p) return k_uAPICallInvalid;
  ++platform.nextCall;
  p->data.find.m_hSteamLeaderboard = board < 0 ? 0 : c_boardHandleBase + board;
  p->data.find.m_bLeaderboardFound = board < 0 ? 0 : 1;
  return call;
}

const char* ISteamUserStats::GetLeaderboardName(SteamLeaderboard_t board) {
  if (board < c_boardHandleBase || board >= c_boardHandleBase + c_boardCount) return "";
  return c_boards[board - c_boardHandleBase].name;
}

SteamAPICall_t ISteamUserStats::UploadLeaderboardScore(SteamLeaderboard_t handle, ELeaderboardUploadScoreMethod method,
                                                       int32_t score, const int32_t*, int) {
  if (!platform.running) return k_uAPICallInvalid;
  if (handle < c_boardHandleBase || handle >= c_boardHandleBase + c_boardCount) {
    LOGE("Store: there is no leaderboard with handle %llu.", static_cast<unsigned long long>(handle));
    return k_uAPICallInvalid;
  }
  if (platform.pendingCount >= c_storePendingLimit) {
    Queue(LeaderboardScoreUploaded_t::k_iCallback, 0);  // logs the full queue
    return k_uAPICallInvalid;
  }
  const int board = static_cast<int>(handle - c_boardHandleBase);
  const bool had = platform.stored.boardSet[board];
  const bool changes =
      method == k_ELeaderboardUploadScoreMethodForceUpdate || !had ||
      (method == k_ELeaderboardUploadScoreMethodKeepBest && Better(board, score, platform.stored.boards[board]));
  bool ok = true;
  if (changes) {
    Record next = platform.stored;
    next.boards[board] = score;
    next.boardSet[board] = true;
    ok = RecordWrite(next);
    if (ok) {
      platform.stored.boards[board] = score;
      platform.stored.boardSet[board] = true;
      platform.current.boards[board] = score;
      platform.current.boardSet[board] = true;
    }
  }
  const SteamAPICall_t call = platform.nextCall++;
  Pending* p = Queue(LeaderboardScoreUploaded_t::k_iCallback, call);
  LeaderboardScoreUploaded_t& r = p->data.uploaded;
  r.m_bSuccess = ok ? 1 : 0;
  r.m_hSteamLeaderboard = handle;
  r.m_nScore = score;
  r.m_bScoreChanged = changes && ok ? 1 : 0;
  // One player on every board.
  r.m_nGlobalRankNew = 1;
  r.m_nGlobalRankPrevious = had ? 1 : 0;
  return call;
}

void ISteamFriends::ActivateGameOverlayToWebPage(const char* url) {
  snprintf(platform.lastPage, sizeof(platform.lastPage), "%s", url ? url : "");
  LOGI("Store overlay page: %s", platform.lastPage);
}

// A local store platform with the interface of the store SDK the game was written against: the
// player's statistics, achievements and best scores kept in "storestats.dat" in the user folder,
// and every result delivered only inside SteamAPI_RunCallbacks, which the game calls once per frame.
#pragma once

#include <cstdint>

typedef uint64_t SteamAPICall_t;      // a pending call's handle; 0 none
typedef uint64_t SteamLeaderboard_t;  // a leaderboard's handle; 0 none
constexpr SteamAPICall_t k_uAPICallInvalid = 0;

// The game's number on the platform, carried by the statistics results.
constexpr uint64_t c_storeGameId = 1270;
// Pending results the platform holds between two pumps; a call beyond them is refused.
constexpr int c_storePendingLimit = 64;
// Callbacks and bound call results that can be registered at once.
constexpr int c_storeListenerLimit = 32;

enum EResult {
  k_EResultOK = 1,
  k_EResultFail = 2,
};

enum ELeaderboardUploadScoreMethod {
  k_ELeaderboardUploadScoreMethodNone = 0,
  k_ELeaderboardUploadScoreMethodKeepBest = 1,     // keep the better of the old and new score
  k_ELeaderboardUploadScoreMethodForceUpdate = 2,  // always replace
};

// The results, each with its callback number.
struct UserStatsReceived_t {
  enum { k_iCallback = 1101 };
  uint64_t m_nGameID;
  EResult m_eResult;
};
struct UserStatsStored_t {
  enum { k_iCallback = 1102 };
  uint64_t m_nGameID;
  EResult m_eResult;
};
struct UserAchievementStored_t {
  enum { k_iCallback = 1103 };
  uint64_t m_nGameID;
  char m_rgchAchievementName[128];
};
struct LeaderboardFindResult_t {
  enum { k_iCallback = 1104 };
  SteamLeaderboard_t m_hSteamLeaderboard;  // 0 when not found
  uint8_t m_bLeaderboardFound;
};
struct LeaderboardScoreUploaded_t {
  enum { k_iCallback = 1106 };
  uint8_t m_bSuccess;
  SteamLeaderboard_t m_hSteamLeaderboard;
  int32_t m_nScore;
  uint8_t m_bScoreChanged;  // the board now holds this score
  int32_t m_nGlobalRankNew;
  int32_t m_nGlobalRankPrevious;  // 0 when the player had no score on the board
};

// Something the platform calls back: a callback for every result of its kind, or a call result
// for the one call it is bound to.
class CCallbackBase {
 public:
  CCallbackBase() = default;
  virtual ~CCallbackBase() = default;
  CCallbackBase(const CCallbackBase&) = delete;
  CCallbackBase& operator=(const CCallbackBase&) = delete;
  virtual void Run(const void* param, bool ioFailure) = 0;
};

// Registration. Full tables refuse with a log line (false).
bool SteamAPI_RegisterCallback(CCallbackBase* callback, int kind);
void SteamAPI_UnregisterCallback(CCallbackBase* callback);
bool SteamAPI_RegisterCallResult(CCallbackBase* result, SteamAPICall_t call);
void SteamAPI_UnregisterCallResult(CCallbackBase* result, SteamAPICall_t call);

// Calls obj->fn for every result of type R while alive.
template <class P, class R>
class CCallback : public CCallbackBase {
 public:
  typedef void (P::*Func)(R*);
  CCallback(P* obj, Func fn) : m_obj(obj), m_fn(fn) { SteamAPI_RegisterCallback(this, R::k_iCallback); }
  ~CCallback() override { SteamAPI_UnregisterCallback(this); }
  void Run(const void* param, bool) override { (m_obj->*m_fn)(static_cast<R*>(const_cast<void*>(param))); }

 private:
  P* m_obj;
  Func m_fn;
};

// Calls obj->fn once with the result of the call it is bound to. Binding it again forgets the
// earlier call, whose result is then dropped.
template <class P, class R>
class CCallResult : public CCallbackBase {
 public:
  typedef void (P::*Func)(R*, bool);
  CCallResult() = default;
  ~CCallResult() override { Cancel(); }
  void Set(SteamAPICall_t call, P* obj, Func fn) {
    Cancel();
    m_obj = obj;
    m_fn = fn;
    if (call != k_uAPICallInvalid && SteamAPI_RegisterCallResult(this, call)) m_call = call;
  }
  bool IsActive() const { return m_call != k_uAPICallInvalid; }
  void Cancel() {
    if (m_call != k_uAPICallInvalid) SteamAPI_UnregisterCallResult(this, m_call);
    m_call = k_uAPICallInvalid;
  }
  void Run(const void* param, bool ioFailure) override {
    m_call = k_uAPICallInvalid;  // delivered: the platform has already let go of it
    if (m_obj) (m_obj->*m_fn)(static_cast<R*>(const_cast<void*>(param)), ioFailure);
  }

 private:
  SteamAPICall_t m_call = k_uAPICallInvalid;
  P* m_obj = nullptr;
  Func m_fn = nullptr;
};

class ISteamUser {
 public:
  bool BLoggedOn();
  // The user data folder, cut to size - 1 characters; false when there is none or it does not fit.
  bool GetUserDataFolder(char* buffer, int size);
};

// The player's statistics. Names must be among the game's configured names: others are refused
// with a log line. Until the UserStatsReceived_t of RequestCurrentStats has been delivered,
// reading and changing statistics and achievements fails.
class ISteamUserStats {
 public:
  bool RequestCurrentStats();
  bool GetStat(const char* name, int32_t* value);
  bool GetStat(const char* name, float* value);
  bool SetStat(const char* name, int32_t value);
  bool SetStat(const char* name, float value);
  bool GetAchievement(const char* name, bool* achieved);
  bool SetAchievement(const char* name);
  uint32_t GetNumAchievements();
  // Writes the statistics and achievements to the store file; a UserStatsStored_t says how it went,
  // preceded by a UserAchievementStored_t for each achievement stored for the first time.
  bool StoreStats();
  // Zeros the statistics (and the achievements) and stores them.
  bool ResetAllStats(bool achievementsToo);
  // A LeaderboardFindResult_t for the call; not found for a name the game has no board for.
  SteamAPICall_t FindLeaderboard(const char* name);
  // The board's name, "" for a handle no find gave.
  const char* GetLeaderboardName(SteamLeaderboard_t board);
  // Records the score on the board (written to the store file at once when it changes the board);
  // a LeaderboardScoreUploaded_t for the call. 0 for an unknown board or a full result queue.
  SteamAPICall_t UploadLeaderboardScore(SteamLeaderboard_t board, ELeaderboardUploadScoreMethod method, int32_t score,
                                        const int32_t* details, int detailCount);
};

class ISteamFriends {
 public:
  // There is no overlay here: the page is logged and kept for the game's GUI to show.
  void ActivateGameOverlayToWebPage(const char* url);
};

// Starts the platform: finds the user folder and reads the store file. False, with a log line, when
// there is no user folder; the interfaces are then null and every call is refused.
bool SteamAPI_Init();
// Delivers the results that were pending when it was called, oldest first, on the calling thread.
void SteamAPI_RunCallbacks();
// Stops the platform; pending results are dropped. Registrations stay (their owners remove them).
void SteamAPI_Shutdown();
// The interfaces, null while the platform is not started.
ISteamUser* SteamUser();
ISteamUserStats* SteamUserStats();
ISteamFriends* SteamFriends();

// The page the last overlay request asked for, "" before any.
const char* SteamOverlayPageLast();
// Test support: called while the store file's replacement is half written, to stage a crash there.
extern void (*steamStoreWriteHook)();

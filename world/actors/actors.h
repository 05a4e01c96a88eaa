// Characters: the Actors world part, its status bits and assignments, adding, look-ups and the save record.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "quarnplan256/goap.h"
#include "system/file.h"
#include "utility/fixed_string.h"
#include "utility/matrix44.h"
#include "utility/pid.h"

class SaveStream;

struct Wld;
struct PlanRequest;

#define MAXACTORS 32
#define NUMASSIGNMENTS 7

// Longest plan a character keeps, and longest tile path.
constexpr int c_planStepLimit = 32;
constexpr int c_tilePathLimit = 256;
// Seconds a character waits before asking again after a failed plan search.
constexpr float c_replanDelayAfterFailure = 2.0f;
// Longest wait before another try of a goal that keeps failing in an unchanged world.
constexpr float c_retryDelayLimit = 60.0f;

// Status bits of Actors::m_stat.
enum ActorStatus : uint64_t {
  ST_ACTIVE = 0x1,      // acts, walks and is animated; cleared when smitten
  ST_PRISONER = 0x2,    // caged: no planning, no movement, no tick
  ST_CHOSEN = 0x4,      // the player's character
  ST_LANDED = 0x8,      // the player's character has landed (drawn with a glow)
  ST_FALLING = 0x10,    // falling from the sky
  ST_CLIMBING = 0x20,   // climbing out after the landing
  ST_ASCENDING = 0x40,  // rising away through the stargate
  ST_POOPING = 0x80,
  ST_ENGAGED = 0x100,  // in a conversation with the player's character
  ST_PAVING = 0x200,   // the next path found becomes road sites instead of being walked
  ST_CROWNED = 0x400,  // wears the crown forged at a smithy
};

// Assignment names by number (m_assi, m_prva); -1 reads as "no assignment".
extern const char* const assignmentNames[NUMASSIGNMENTS];
// The name of an assignment number, "no assignment" for -1 and anything out of range.
const char* AssignmentName(int assignment);

// What a character asked the path service for.
struct PathGoal {
  int32_t tile;          // target tile, -1 none
  uint64_t attribMask;   // tile attribute bits to look for
  const char* itemName;  // constant item-type name, null none
};

// Seconds a plan step lasts, by the step's action name.
float ActionDuration(const char* actionName);

struct Actors {
  int32_t m_cnt;  // characters added so far; they are never removed
  Wld* m_wld;
  int32_t m_loca[MAXACTORS];  // tile stood on
  int32_t m_tgtl[MAXACTORS];  // next tile walked to, -1 none
  int32_t m_clai[MAXACTORS];  // claimed construction site, -1 none
  FixedString m_name[MAXACTORS];
  uint64_t m_stat[MAXACTORS];  // ActorStatus bits
  int32_t m_assi[MAXACTORS];   // assignment, -1 none
  int32_t m_prva[MAXACTORS];   // assignment to go back to after eating, -1 none
  Matrix44 m_trfs[MAXACTORS];  // X heading, Z up from the surface, translation = position
  Vec3 m_lvel[MAXACTORS];
  float m_avel[MAXACTORS];
  Vec3 m_lacc[MAXACTORS];
  float m_aacc[MAXACTORS];
  PidVec3 m_mpid[MAXACTORS];                              // steers toward the next tile
  Pid m_tpid[MAXACTORS];                                  // heading
  const char* m_planActions[MAXACTORS][c_planStepLimit];  // names owned by the planner's domain table
  int32_t m_planSize[MAXACTORS];                          // 0 none, -1 after a failed search
  ActionPlanner* m_planners;                              // MAXACTORS, 32-byte aligned
  WorldState* m_currentState;                             // MAXACTORS
  WorldState* m_goalState;                                // MAXACTORS
  int32_t m_ploc[MAXACTORS][c_tilePathLimit];             // tile path, first step first
  int32_t m_pasz[MAXACTORS];                              // tiles in m_ploc; 0 when nothing to walk
  PathGoal m_pathGoal[MAXACTORS];
  int32_t m_planStage[MAXACTORS];  // step being performed; -1 before the first
  int32_t m_pathStage[MAXACTORS];  // index in m_ploc of the next tile
  int32_t m_planRequested[MAXACTORS];
  int32_t m_planDone[MAXACTORS];  // the answer has come back (set on the main thread, see CollectPlan)
  int32_t m_planActive[MAXACTORS];
  int32_t m_planCost[MAXACTORS];  // last search's cost, negative when none was found
  float m_replanDelay[MAXACTORS];
  int32_t m_planInFlight;  // one request of this world is with the planning service
  int32_t m_pathRequested[MAXACTORS];
  std::atomic<int32_t> m_pathDone[MAXACTORS];  // written by the pathing thread, release/acquire
  int32_t m_pathResult[MAXACTORS];
  int32_t m_pathInFlight;
  float m_actionDelay[MAXACTORS];
  float m_animTime[MAXACTORS];
  int64_t m_animSeq[MAXACTORS];  // row of the animation table; a value naming none restarts the animation
  int32_t m_animLoop[MAXACTORS];
  float m_timeSinceEating[MAXACTORS];
  float m_timeUntilPoop[MAXACTORS];

  // Planning bookkeeping that is not saved. m_planSerial tells an answer to the current request
  // from one to a request that was cancelled meanwhile; m_planRequest is the request with the
  // service (owned here, only borrowed by the worker); m_quietGoal is the last goal reported as
  // already holding, so the report is not repeated every step.
  uint32_t m_planSerial[MAXACTORS];
  PlanRequest* m_planRequest;
  int32_t m_planInFlightNr;  // character of m_planRequest, -1 none
  WorldState m_quietGoal[MAXACTORS];
  int32_t m_quietValid[MAXACTORS];
  // Retry back-off, not saved. m_goalAtom/m_goalValue: the one-atom goal last asked for (null for
  // any other goal). A goal that fails again (no plan, no path, a failed step) with the same
  // assignment while the world's change count stands still waits twice as long as before, up to
  // c_retryDelayLimit; only the first failure of such a run is logged, the rest are counted.
  const char* m_goalAtom[MAXACTORS];
  int32_t m_goalValue[MAXACTORS];
  const char* m_failAtom[MAXACTORS];
  int32_t m_failValue[MAXACTORS];
  int32_t m_failAssi[MAXACTORS];
  int32_t m_failCount[MAXACTORS];  // failures in a row of that goal, 0 none
  uint32_t m_failChanges[MAXACTORS];
  float m_failBase[MAXACTORS];  // the wait after the run's first failure

  explicit Actors(Wld* wld);
  ~Actors();
  Actors(const Actors&) = delete;
  Actors& operator=(const Actors&) = delete;

  // A character on the tile in the next slot; -1 when all 32 exist or the tile is not on the planet.
  int Add(const char* name, int tile);
  // The first character with ST_CHOSEN, or -1.
  int FindPlayer() const;
  // The player's character's tile, or -1.
  int PlayerLocation() const;
  // The highest-numbered character other than nr with ST_ENGAGED, or -1.
  int FindPartner(int nr) const;
  bool IsExecutingPlan(int nr) const;
  // At work where it stands: executing a plan with no walk left (no target elsewhere, its path
  // used up and none asked for). Such a character keeps its tile until the step is done.
  bool HoldsTile(int nr) const;
  bool IsValid(int nr) const { return nr >= 0 && nr < m_cnt; }

  // Writes or reads the saved fields; returns the bytes moved. Plans come back empty.
  size_t Serialize(SaveStream& s);

  // Plan steps (performing them belongs to the step handlers): enters the next step and returns
  // its stage (m_planSize when used up); drops the plan and any claimed site.
  int NextPlanStep(int nr);
  // `quiet`: the plan is given up again for a failure already reported, so no line is logged.
  void AbandonPlan(int nr, bool quiet = false);

  // Plan requests (actors_planning.cpp).
  // Builds the current and goal states and asks for a plan: 0, or -1 when the goal already holds.
  int SetGoal(int nr, int goalCount, const char* const* goalAtoms, const bool* goalValues);
  // Costs of walk_to_, find_ and scavenge_ from a survey; returns the number of costs set.
  int SetActionCosts(int nr, ActionPlanner* planner, const int attribDist[32], const int itemDist[64]);
  // "no plan." or the plan's action names joined by ","; returns the characters written.
  int PlanText(int nr, char* buffer, int length) const;
  // Marks a plan request with the states and planner as they are now (SetGoal's last step).
  void MarkPlanRequested(int nr);
  // A try of the current goal failed (no plan, no path, or a failed step): sets the wait before
  // the next try from `base`, doubled for every earlier failure in a row of the same goal, and
  // returns the failures in a row, 1 for the first (the only one its caller logs).
  int NoteFailure(int nr, float base);
  // True while the current goal is one that failed last time in the same circumstances, so a
  // failure of it now is a repeat.
  bool RepeatsFailure(int nr) const;
  // Ends a run of failures (the goal was reached or something changed); logs its length once.
  void EndFailures(int nr);
  // Once per step: counts re-plan delays down, takes in a finished answer, and hands at most one
  // request to the planning service. The character handed over, or -1.
  int QueuePlanRequest(float dt);
  // The answer's cost for a character whose answer has come, or -1 when there is nothing yet.
  int CollectPlan(int nr);
  // Takes in the answer of the request with the service when it has come: stores it for its
  // character, or drops it when that request was cancelled. True when a request was retired.
  bool ReapPlanRequest();

  // Movement and steering (actors_move.cpp).
  void Steer(int nr, float dt, const Vec3& target, const Vec3& direction);
  void SetElevation(int nr, float distance);
  float UpdateLocation(int nr, int* nearest);
  void Update(float dt);
  bool FollowPath(int nr);
  int NextWaypoint(int nr);
  void MakeChosenOne(int nr);
  void Fall(float dt, int nr);
  void CheckGameEnd(float dt, int nr);
  void PauseToEat(int nr);
  void UpdateAnimation(float dt);

  // Performing plan steps (actors_perform.cpp).
  int Perform(int nr, float dt);
  int PrevPlanStep(int nr);
  int PerformWalkTo(int nr, const char* name);
  int PerformFind(int nr, const char* name);
  int PerformScavenge(int nr, const char* name);
};

// The save file relies on these element sizes.
static_assert(sizeof(Actors::m_loca[0]) == 4);
static_assert(sizeof(Actors::m_tgtl[0]) == 4);
static_assert(sizeof(Actors::m_clai[0]) == 4);
static_assert(sizeof(Actors::m_name[0]) == 256);
static_assert(sizeof(Actors::m_stat[0]) == 8);
static_assert(sizeof(Actors::m_assi[0]) == 4);
static_assert(sizeof(Actors::m_prva[0]) == 4);
static_assert(sizeof(Actors::m_trfs[0]) == 64);
static_assert(sizeof(Actors::m_lvel[0]) == 12);
static_assert(sizeof(Actors::m_avel[0]) == 4);
static_assert(sizeof(Actors::m_lacc[0]) == 12);
static_assert(sizeof(Actors::m_aacc[0]) == 4);
static_assert(sizeof(Actors::m_mpid[0]) == 40);
static_assert(sizeof(Actors::m_tpid[0]) == 24);
static_assert(sizeof(Actors::m_ploc[0]) == 1024);
static_assert(sizeof(Actors::m_pasz[0]) == 4);
static_assert(sizeof(Actors::m_pathStage[0]) == 4);
static_assert(sizeof(Actors::m_actionDelay[0]) == 4);
static_assert(sizeof(Actors::m_animTime[0]) == 4);
static_assert(sizeof(Actors::m_animSeq[0]) == 8);
static_assert(sizeof(Actors::m_animLoop[0]) == 4);
static_assert(sizeof(Actors::m_timeSinceEating[0]) == 4);
static_assert(sizeof(Actors::m_timeUntilPoop[0]) == 4);
static_assert(sizeof(Actors::m_cnt) == 4);

// Characters: construction, adding, look-ups, plan stepping and abandoning, and the save record.
#include "world/actors/actors.h"

#include <cstring>
#include <new>

#include "system/memory.h"
#include "utility/log.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/planet/globe.h"
#include "world/save/save_stream.h"
#include "world/wld.h"

const char* const assignmentNames[NUMASSIGNMENTS] = {
    "procure lumber", "procure stone", "plant trees", "build stuff", "feed orcs", "eat some fruit", "free prisoners",
};

const char* AssignmentName(int assignment) {
  if (assignment < 0 || assignment >= NUMASSIGNMENTS) return "no assignment";
  return assignmentNames[assignment];
}

static bool Begins(const char* s, const char* prefix) { return !strncmp(s, prefix, strlen(prefix)); }

float ActionDuration(const char* name) {
  ASSERT_OR_RETURN(name, 5.0f);
  if (Begins(name, "smash_ches")) return 0.5f;
  if (Begins(name, "eat_")) return 1.7f;
  if (Begins(name, "build_")) return 4.0f;
  if (!strcmp(name, "scoop_poop") || !strcmp(name, "irrigate") || Begins(name, "stake")) return 0.8f;
  if (Begins(name, "deliver_") || Begins(name, "stock_") || Begins(name, "drop") || Begins(name, "reap")) return 0.8f;
  if (Begins(name, "pickup")) return 0.8f;
  if (!strcmp(name, "free")) return 7.0f;
  if (Begins(name, "clear_")) return 8.0f;
  if (!strcmp(name, "harvest")) return 7.0f;
  if (!strcmp(name, "cut_stone") || !strcmp(name, "cut_tree")) return 8.0f;
  return 5.0f;
}

Actors::Actors(Wld* wld) : m_cnt(0), m_wld(wld) {
  // Every plain array starts zeroed; the few fields with other starting values follow.
  memset(m_loca, 0, sizeof(m_loca));
  memset(m_tgtl, 0, sizeof(m_tgtl));
  for (int i = 0; i < MAXACTORS; ++i) m_clai[i] = -1;
  memset(static_cast<void*>(m_name), 0, sizeof(m_name));
  memset(m_stat, 0, sizeof(m_stat));
  memset(m_assi, 0, sizeof(m_assi));
  memset(m_prva, 0, sizeof(m_prva));
  memset(static_cast<void*>(m_trfs), 0, sizeof(m_trfs));
  memset(static_cast<void*>(m_lvel), 0, sizeof(m_lvel));
  memset(m_avel, 0, sizeof(m_avel));
  memset(static_cast<void*>(m_lacc), 0, sizeof(m_lacc));
  memset(m_aacc, 0, sizeof(m_aacc));
  memset(static_cast<void*>(m_mpid), 0, sizeof(m_mpid));
  memset(static_cast<void*>(m_tpid), 0, sizeof(m_tpid));
  memset(m_planActions, 0, sizeof(m_planActions));
  memset(m_planSize, 0, sizeof(m_planSize));
  memset(m_ploc, 0, sizeof(m_ploc));
  memset(m_pasz, 0, sizeof(m_pasz));
  memset(static_cast<void*>(m_pathGoal), 0, sizeof(m_pathGoal));
  memset(m_planStage, 0, sizeof(m_planStage));
  memset(m_pathStage, 0, sizeof(m_pathStage));
  memset(m_planRequested, 0, sizeof(m_planRequested));
  memset(m_planDone, 0, sizeof(m_planDone));
  memset(m_planActive, 0, sizeof(m_planActive));
  memset(m_planCost, 0, sizeof(m_planCost));
  memset(m_replanDelay, 0, sizeof(m_replanDelay));
  m_planInFlight = 0;
  memset(m_pathRequested, 0, sizeof(m_pathRequested));
  for (int i = 0; i < MAXACTORS; ++i) m_pathDone[i].store(0, std::memory_order_relaxed);
  memset(m_pathResult, 0, sizeof(m_pathResult));
  m_pathInFlight = 0;
  memset(m_actionDelay, 0, sizeof(m_actionDelay));
  memset(m_animTime, 0, sizeof(m_animTime));
  memset(m_animSeq, 0, sizeof(m_animSeq));
  memset(m_animLoop, 0, sizeof(m_animLoop));
  memset(m_timeSinceEating, 0, sizeof(m_timeSinceEating));
  memset(m_timeUntilPoop, 0, sizeof(m_timeUntilPoop));
  memset(m_planSerial, 0, sizeof(m_planSerial));
  m_planRequest = nullptr;
  m_planInFlightNr = -1;
  memset(static_cast<void*>(m_quietGoal), 0, sizeof(m_quietGoal));
  memset(m_quietValid, 0, sizeof(m_quietValid));
  for (int i = 0; i < MAXACTORS; ++i) {
    m_goalAtom[i] = m_failAtom[i] = nullptr;
    m_goalValue[i] = m_failValue[i] = 0;
    m_failAssi[i] = -1;
    m_failCount[i] = 0;
    m_failChanges[i] = 0;
    m_failBase[i] = 0.0f;
  }

  m_planners = static_cast<ActionPlanner*>(AlignedAlloc(sizeof(ActionPlanner) * MAXACTORS, 32));
  m_currentState = static_cast<WorldState*>(AlignedAlloc(sizeof(WorldState) * MAXACTORS, 32));
  m_goalState = static_cast<WorldState*>(AlignedAlloc(sizeof(WorldState) * MAXACTORS, 32));
  if (m_planners) memset(static_cast<void*>(m_planners), 0, sizeof(ActionPlanner) * MAXACTORS);
  if (m_currentState) memset(static_cast<void*>(m_currentState), 0, sizeof(WorldState) * MAXACTORS);
  if (m_goalState) memset(static_cast<void*>(m_goalState), 0, sizeof(WorldState) * MAXACTORS);
  ASSERT(m_planners && m_currentState && m_goalState);
}

Actors::~Actors() {
  // The worker may still hold this world's request; take it back before anything is freed.
  PlanningServiceCancel(this);
  PathingServiceCancel(this);
  if (m_planRequest) {
    ASSERT(m_planRequest->done.load(std::memory_order_acquire));
    delete m_planRequest;
    m_planRequest = nullptr;
  }
  m_planInFlight = 0;
  m_planInFlightNr = -1;
  AlignedFree(m_planners);
  AlignedFree(m_currentState);
  AlignedFree(m_goalState);
  m_planners = nullptr;
  m_currentState = nullptr;
  m_goalState = nullptr;
  LOGI("Cleaned up %d actors.", m_cnt);
}

int Actors::Add(const char* name, int tile) {
  if (m_cnt >= MAXACTORS) {
    LOGE("Exceeded max(%d) number of actors.", MAXACTORS);
    return -1;
  }
  // World generation passes -1 when it found no tile; such a character would stand nowhere.
  const Globe* globe = m_wld ? &m_wld->globe : nullptr;
  if (tile < 0 || (globe && tile >= globe->m_sz)) {
    LOGE("Cannot add actor '%s' at illegal tile %d.", name ? name : "", tile);
    return -1;
  }
  const int n = m_cnt;
  m_loca[n] = tile;
  m_tgtl[n] = -1;
  m_clai[n] = -1;
  m_name[n].Set(name);
  m_stat[n] = ST_ACTIVE;
  m_assi[n] = -1;
  m_prva[n] = -1;
  if (globe && globe->m_trfs)
    m_trfs[n] = globe->m_trfs[tile];
  else
    m_trfs[n].SetIdentity();
  m_lvel[n] = Vec3();
  m_lacc[n] = Vec3();
  m_avel[n] = 0.0f;
  m_aacc[n] = 0.0f;
  m_mpid[n] = PidVec3();
  m_mpid[n].m_pGain = -1.5f;
  m_mpid[n].m_iGain = -0.07f;
  m_mpid[n].m_dGain = -0.9f;
  m_mpid[n].Reset();
  m_tpid[n] = Pid();
  m_tpid[n].m_pGain = -4.2f;
  m_tpid[n].m_iGain = -0.1f;
  m_tpid[n].m_dGain = -3.0f;
  m_tpid[n].m_angle = 0;
  m_tpid[n].Reset();
  m_timeSinceEating[n] = 0.0f;
  m_timeUntilPoop[n] = -1.0f;
  m_cnt = n + 1;
  return n;
}

int Actors::FindPlayer() const {
  for (int i = 0; i < m_cnt; ++i)
    if (m_stat[i] & ST_CHOSEN) return i;
  return -1;
}

int Actors::PlayerLocation() const {
  const int p = FindPlayer();
  return p < 0 ? -1 : m_loca[p];
}

int Actors::FindPartner(int nr) const {
  int partner = -1;
  for (int i = 0; i < m_cnt; ++i)
    if (i != nr && (m_stat[i] & ST_ENGAGED)) partner = i;
  return partner;
}

bool Actors::IsExecutingPlan(int nr) const {
  if (!IsValid(nr)) return false;
  return m_planActive[nr] && m_planSize[nr] > 0 && m_planStage[nr] < m_planSize[nr];
}

bool Actors::HoldsTile(int nr) const {
  if (!IsExecutingPlan(nr)) return false;
  if (m_tgtl[nr] >= 0 && m_tgtl[nr] != m_loca[nr]) return false;
  return !m_pathRequested[nr] && m_pathStage[nr] >= m_pasz[nr];
}

int Actors::NextPlanStep(int nr) {
  ASSERTT(nr >= 0 && nr < m_cnt, "nr>=0 && nr<m_cnt");
  if (nr < 0 || nr >= MAXACTORS) return -1;
  const int stage = ++m_planStage[nr];
  if (stage >= 0 && stage < m_planSize[nr] && stage < c_planStepLimit)
    m_actionDelay[nr] = ActionDuration(m_planActions[nr][stage]);
  return stage;
}

void Actors::AbandonPlan(int nr, bool quiet) {
  ASSERTT(nr >= 0 && nr < m_cnt, "nr>=0 && nr<m_cnt");
  if (nr < 0 || nr >= MAXACTORS) return;
  if (m_planSize[nr] > 0 && !quiet) {
    char text[256];
    PlanText(nr, text, sizeof(text));
    LOGI("%s abandons the action plan %s", m_name[nr].c_str(), text);
  }
  const int site = m_clai[nr];
  if (site != -1) {
    // Others may now reach the site, but to the one giving up its own site that is no news: a
    // failure it has just noted still counts as a repeat, so its retries keep backing off.
    const bool noted = m_wld && m_failCount[nr] > 0 && m_failChanges[nr] == m_wld->m_changes;
    if (m_wld) m_wld->globe.ClaimGiveBack(site);
    if (noted) m_failChanges[nr] = m_wld->m_changes;
    if (!quiet) LOGI("%s relinquished claim on tile %d.", m_name[nr].c_str(), site);
    m_clai[nr] = -1;
  }
  if (m_assi[nr] == 5) {
    m_assi[nr] = m_prva[nr];
    m_timeSinceEating[nr] = 0.0f;
  }
  // A request still with the service is recognised as cancelled when its answer comes back
  // (m_planRequested is clear by then), so nothing waits on it.
  m_planActive[nr] = 0;
  m_planDone[nr] = 0;
  m_planRequested[nr] = 0;
  m_planSize[nr] = 0;
  m_pasz[nr] = 0;
  // The path asked for by the plan goes too: no road is laid out from it, and a site its answer
  // claims on the way back is released.
  PathAbandon(*this, nr);
}

size_t Actors::Serialize(SaveStream& s) {
  const bool write = s.Writing();
  const uint64_t start = s.Bytes();
  if (s.Field(&m_cnt, sizeof(m_cnt), "written == sizeof(m_cnt)") != sizeof(m_cnt)) {
    if (!write) m_cnt = 0;
    return s.Bytes() - start;
  }
  // A count that does not fit the arrays would make every field below overrun them.
  if (m_cnt < 0 || m_cnt > MAXACTORS) {
    LOGE("Stored actor count %d is outside 0..%d; no actors %s.", m_cnt, MAXACTORS, write ? "written" : "read");
    m_cnt = 0;
    s.Stop();
    return s.Bytes() - start;
  }

#define ACTORS_FIELD(field)                                                                                      \
  do {                                                                                                           \
    ASSERTT(m_cnt > 0, "m_cnt>0");                                                                               \
    s.Field(&field[0], static_cast<size_t>(m_cnt) * sizeof(field[0]), "written == m_cnt*sizeof(" #field "[0])"); \
  } while (0)

  ACTORS_FIELD(m_loca);
  ACTORS_FIELD(m_tgtl);
  ACTORS_FIELD(m_clai);
  ACTORS_FIELD(m_name);
  ACTORS_FIELD(m_stat);
  ACTORS_FIELD(m_assi);
  ACTORS_FIELD(m_prva);
  ACTORS_FIELD(m_trfs);
  ACTORS_FIELD(m_lvel);
  ACTORS_FIELD(m_avel);
  ACTORS_FIELD(m_lacc);
  ACTORS_FIELD(m_aacc);
  ACTORS_FIELD(m_mpid);
  ACTORS_FIELD(m_tpid);
  ACTORS_FIELD(m_ploc);
  ACTORS_FIELD(m_pasz);
  ACTORS_FIELD(m_pathStage);
  ACTORS_FIELD(m_actionDelay);
  ACTORS_FIELD(m_animTime);
  ACTORS_FIELD(m_animSeq);
  ACTORS_FIELD(m_animLoop);
  ACTORS_FIELD(m_timeSinceEating);
  ACTORS_FIELD(m_timeUntilPoop);
#undef ACTORS_FIELD

  if (!write) {
    // Plans point into planners that are not saved, so a loaded character plans afresh.
    memset(m_planActions, 0, sizeof(m_planActions));
    memset(m_planSize, 0, sizeof(m_planSize));
    memset(m_planStage, 0, sizeof(m_planStage));
    // Requests made before the load mean nothing now; an answer still on its way is dropped.
    for (int i = 0; i < MAXACTORS; ++i) {
      m_planRequested[i] = 0;
      m_planDone[i] = 0;
      m_planActive[i] = 0;
      ++m_planSerial[i];
    }
    // Names and path lengths index fixed arrays; a damaged file must not make them overrun.
    for (int i = 0; i < m_cnt; ++i) {
      if (!m_name[i].Repair()) LOGW("Repaired the stored name of actor %d.", i);
      if (m_pasz[i] < 0 || m_pasz[i] > c_tilePathLimit) {
        LOGW("Stored path length %d of actor %d is out of range; path dropped.", m_pasz[i], i);
        m_pasz[i] = 0;
      }
      if (m_pathStage[i] < 0 || m_pathStage[i] > c_tilePathLimit) m_pathStage[i] = 0;
    }
  }
  const size_t total = s.Bytes() - start;
  LOGI("Serialized %zu bytes for %d actors %s disk.", total, m_cnt, s.Direction());
  return total;
}

// The player's interventions: player actions, walking to a clicked tile, stealing, smiting and speech.
#include "world/actors/actors_interventions.h"

#include <cstring>

#include "quarnplan256/goap.h"
#include "utility/log.h"
#include "world/actors/action_domain.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/wld.h"

// The action list is built often (the menus ask every frame) and must not touch the planner of
// a character whose plan request may still be pending, so it uses a planner of its own. Main
// thread only, like every caller.
static ActionPlanner scratchPlanner;
static WorldState scratchTo[MAXACTIONS];
static const char* scratchNames[MAXACTIONS];
static int scratchCosts[MAXACTIONS];

// The index of the planner's action of that name, or -1; unlike ActionIndex it registers nothing.
static int FindAction(const ActionPlanner* ap, const char* name) {
  for (int i = 0; i < ap->numactions; ++i)
    if (ap->actionnames[i] && !strcmp(ap->actionnames[i], name)) return i;
  return -1;
}

static bool StartsWith(const char* text, const char* prefix) { return !strncmp(text, prefix, strlen(prefix)); }

int AvailableActions(const Actors& actors, int nr, const char** names, int capacity) {
  if (!actors.IsValid(nr) || !names || capacity <= 0) return 0;
  ActionPlanner* ap = &scratchPlanner;
  WorldState state;
  DomainStart(ap, &state);
  const Wld* world = actors.m_wld;
  const int loc = actors.m_loca[nr];
  if (world && world->globe.IsValid(loc)) {
    world->items.SetAtoms(ap, &state, nr, loc);
    // The player's character works where it is told, held by another or not.
    world->globe.SetTerrainAtoms(ap, &state, loc, loc);
    world->demand.SetAtoms(ap, &state);
    // Company within reach makes greeting possible.
    int attribDist[32] = {};
    int itemDist[64] = {};
    int actorDist[64] = {};
    world->globe.Survey(loc, 64, attribDist, itemDist, actorDist);
    for (int n = 0; n < MAXACTORS; ++n)
      if (n != nr && actorDist[n] >= 1 && actorDist[n] <= 3) StateSet(ap, &state, "nearorc", true);
  }
  const int found = PlannerTransitions(ap, state, scratchTo, scratchNames, scratchCosts, MAXACTIONS);
  int kept = 0;
  for (int i = 0; i < found && kept < capacity; ++i) {
    const char* name = scratchNames[i];
    if (!name || StartsWith(name, "walk_to_") || StartsWith(name, "find_") || StartsWith(name, "scavenge_")) continue;
    names[kept++] = name;
  }
  return kept;
}

void StartAction(Actors& actors, int nr, const char* name) {
  if (!actors.IsValid(nr) || !actors.m_planners) {
    LOGE("Cannot start an action for character %d.", nr);
    return;
  }
  // The name comes from a message: one that is no action is reported and dropped before the
  // character's plan or pending request is touched.
  DomainStart(&scratchPlanner, nullptr);
  if (!name || FindAction(&scratchPlanner, name) < 0) {
    LOGE("%s cannot perform the unknown action '%s'.", actors.m_name[nr].c_str(), name ? name : "");
    return;
  }
  ActionPlanner* ap = &actors.m_planners[nr];
  // A pending plan request owns the planner until it is answered; drop it first. Its answer is
  // recognised as cancelled when it comes back, because the character is no longer requested.
  actors.m_planRequested[nr] = 0;
  actors.m_planDone[nr] = 0;
  PlannerClear(ap);
  ActionsDefine(ap);
  const int index = FindAction(ap, name);
  if (index < 0) return;
  actors.m_pasz[nr] = 0;
  actors.m_pathStage[nr] = 0;
  actors.m_tgtl[nr] = -1;
  actors.m_planSize[nr] = 1;
  actors.m_planActions[nr][0] = ap->actionnames[index];
  actors.m_planStage[nr] = -1;
  actors.m_planActive[nr] = 1;
  actors.NextPlanStep(nr);
}

int PlayerWalkTo(Actors& actors, int tile) {
  const Wld* world = actors.m_wld;
  if (!world || !world->globe.IsValid(tile)) return -1;
  if (world->globe.m_nodes[tile].type < TP_LAND) return -1;
  const int p = actors.FindPlayer();
  if (p < 0) return -1;
  // A smitten character walks nowhere; a request of its would never be collected.
  if (!(actors.m_stat[p] & ST_ACTIVE)) return -1;
  if (actors.m_pathRequested[p]) {
    actors.m_pathStage[p] = 0;
    return 0;
  }
  actors.m_pathGoal[p].tile = tile;
  actors.m_pathGoal[p].attribMask = 0;
  actors.m_pathGoal[p].itemName = nullptr;
  actors.m_pathDone[p].store(0, std::memory_order_relaxed);
  actors.m_pathRequested[p] = 1;
  actors.m_pathStage[p] = 0;
  return 0;
}

int DestroyCarried(Actors& actors, int nr) {
  if (!actors.IsValid(nr) || !actors.m_wld) return -1;
  Items& items = actors.m_wld->items;
  const int slot = items.FindCarried(nullptr, nr);
  if (slot < 0) return slot;
  LOGI("Destroying item %s carried by %s", items.m_name[slot].c_str(), actors.m_name[nr].c_str());
  items.Remove(slot);
  actors.AbandonPlan(nr);
  return 0;
}

int Smite(Actors& actors, int nr) {
  if (!actors.IsValid(nr) || !(actors.m_stat[nr] & ST_ACTIVE)) return 0;
  if (actors.m_wld) actors.m_wld->items.DropAll(nr);
  actors.AbandonPlan(nr);
  // Its path request goes too: one still queued is forgotten and an answer on its way is
  // dropped when it comes (a claimed site released), so the pathing service never waits on a
  // character that no longer collects. A pending plan request was cancelled with the plan.
  PathAbandon(actors, nr);
  actors.m_stat[nr] &= ~static_cast<uint64_t>(ST_ACTIVE);
  actors.m_lvel[nr] = Vec3{0.0f, 0.0f, 0.0f};
  actors.m_lacc[nr] = Vec3{0.0f, 0.0f, 0.0f};
  actors.m_avel[nr] = 0.0f;
  actors.m_aacc[nr] = 0.0f;
  return 1;
}

void Speak(Actors& actors, int nr, int line) {
  if (!actors.IsValid(nr)) {
    LOGE("Nobody to speak for (character %d).", nr);
    return;
  }
  const int partner = actors.FindPartner(nr);
  // Speech comes from a message, which can arrive when nobody is engaged: report and drop it.
  if (partner < 0) {
    LOGE("%s has nobody to speak to; line %d dropped.", actors.m_name[nr].c_str(), line);
    return;
  }
  actors.m_stat[partner] &= ~static_cast<uint64_t>(ST_ENGAGED);
  actors.NextPlanStep(nr);
  actors.m_planSize[nr] = 0;
  actors.m_planStage[nr] = 0;
  actors.m_planActive[nr] = 0;

  int active[NUMASSIGNMENTS];
  int count = 0;
  if (actors.m_wld)
    for (int a = 0; a < NUMASSIGNMENTS; ++a)
      if (actors.m_wld->demand.m_offers[a]) active[count++] = a;
  if (line >= count) {
    LOGE("Cannot use line %d, there are only %d active assignments.", line, count);
    return;
  }
  if (line < 0) return;
  const int a = active[line];
  actors.m_assi[partner] = a;
  LogEvent("%s tells %s to %s", actors.m_name[nr].c_str(), actors.m_name[partner].c_str(), AssignmentName(a));
  actors.AbandonPlan(partner);
  actors.m_wld->items.DropAll(partner);
}

bool PlayerIsGreeting(const Actors& actors) {
  const int p = actors.FindPlayer();
  if (p < 0) return false;
  const int stage = actors.m_planStage[p];
  if (stage < 0 || stage >= actors.m_planSize[p] || stage >= c_planStepLimit) return false;
  const char* name = actors.m_planActions[p][stage];
  return name && !strcmp(name, "greet");
}

// The characters' share of one simulation step: the decision pass, the movement pass and the shared per-step work.
#include "world/sim/sim_actors.h"

#include "utility/log.h"
#include "world/actors/actors.h"
#include "world/actors/actors_move.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/actors/goal_choose.h"
#include "world/actors/perform/actors_perform.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

namespace {

// Collects answers, walks, performs the current step or chooses a goal.
void DecideCharacter(Wld* world, int n, float dt) {
  Actors& a = world->actors;
  if (a.m_planRequested[n]) a.CollectPlan(n);
  if (a.m_pathRequested[n]) CollectPath(a, n);
  const bool player = (a.m_stat[n] & ST_CHOSEN) != 0;
  const bool executing = a.IsExecutingPlan(n);
  const bool pathPending = a.m_pathRequested[n] && !a.m_pathDone[n].load(std::memory_order_acquire);
  bool walking = false;
  // The player's own plan steps are performed where it stands; it walks only where it was sent.
  if (!(player && executing) && !pathPending) walking = a.FollowPath(n);
  if (a.m_planSize[n] <= 0 && !player) {
    if (a.m_assi[n] != -1) GoalChoose(n, world, a.m_assi[n]);
  } else if (!walking && !pathPending) {
    const int r = a.Perform(n, dt);
    if (r == a.m_planSize[n] && a.m_planSize[n] >= 1) {
      LOGI("%s completed a plan and is now at location %d.", a.m_name[n].c_str(), a.m_loca[n]);
      a.EndFailures(n);
      a.m_planSize[n] = 0;
      a.m_planActive[n] = 0;
    }
  }
}

// Steers toward the target tile, or settles on the own tile, and keeps the character on the surface.
void MoveCharacter(Wld* world, int n, float dt) {
  Actors& a = world->actors;
  const Globe& globe = world->globe;
  ASSERTM_OR_RETURN_VOID(globe.IsValid(a.m_loca[n]), "actor %d on tile %d", n, a.m_loca[n]);
  if (!globe.m_heights) return;
  float h = globe.m_heights[a.m_loca[n]];
  const int target = a.m_tgtl[n];
  const int location = a.m_loca[n];
  int nearest = -1;
  const float margin = a.UpdateLocation(n, &nearest);
  const float border = c_borderBlend * globe.m_hexw;
  if (globe.IsValid(nearest) && border > 0.0f && margin <= border) {
    // Toward the border the height runs to the mean of both tiles, so a step up is a slope.
    // On the step that crosses, the margin dips just below 0: the mean is held there. This is
    // done standing as well as walking: a walk ends on the step that crosses into the last
    // tile, and the character coasts to a stop near that border.
    float s = margin / border;
    if (s < 0.0f) s = 0.0f;
    h = s * h + (1.0f - s) * (h + globe.m_heights[nearest]) * 0.5f;
  }
  if (target < 0 || target == location || !globe.IsValid(target)) {
    a.m_lvel[n] *= 1.0f - 5.0f * dt;
    a.m_avel[n] = 0.0f;
    a.m_lacc[n] = Vec3{};
    a.m_aacc[n] = 0.0f;
  } else {
    const Vec3 p = a.m_trfs[n].GetTranslation();
    const Vec3 q = globe.TilePosition(target);
    a.Steer(n, dt, q, Normalize(q - p));
  }
  a.SetElevation(n, h);
}

}  // namespace

void SimActorsUpdate(Packet* out, float dt, Wld* world) {
  if (!world) return;
  Packet* const outbox = world->m_outbox;
  if (out) world->m_outbox = out;
  Actors& a = world->actors;

  for (int n = 0; n < a.m_cnt; ++n) {
    const uint64_t st = a.m_stat[n];
    if (!(st & ST_ACTIVE) || (st & (ST_PRISONER | ST_CLIMBING))) continue;
    DecideCharacter(world, n, dt);
  }

  for (int n = 0; n < a.m_cnt; ++n) {
    const uint64_t st = a.m_stat[n];
    if (!(st & ST_ACTIVE) || (st & (ST_PRISONER | ST_FALLING | ST_ASCENDING))) continue;
    MoveCharacter(world, n, dt);
  }

  world->globe.SeparateActors();
  a.Update(dt);
  a.QueuePlanRequest(dt);
  QueuePathRequest(a);
  // In lockstep the answers are in before the world changes further: the path search reads the
  // globe as it stands now, and the next step takes both in, however long they took.
  const double bound = SimLockstep();
  if (bound > 0.0) {
    PlanningServiceAwait(a, bound);
    PathingServiceAwait(a, bound);
  }
  a.UpdateAnimation(dt);
  world->m_outbox = outbox;
}

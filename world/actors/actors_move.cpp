// Character movement: steering, integration, falling and rising, hunger, path following and the animation choice.
#include "world/actors/actors_move.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "utility/log.h"
#include "world/parts/items.h"
#include "world/parts/stargate.h"
#include "world/planet/globe.h"
#include "world/wld.h"

const char* const animationNames[NUMANIMATIONS] = {
    "idle", "walk", "castmagic", "death", "spawn", "attackb", "attacka", "attackc", "hitfront", "runscared", "jump",
};

const char* AnimationName(int64_t seq) {
  if (seq < 0 || seq >= NUMANIMATIONS) return nullptr;
  return animationNames[seq];
}

static float Clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

static bool Begins(const char* s, const char* prefix) { return !strncmp(s, prefix, strlen(prefix)); }

void Actors::Steer(int nr, float dt, const Vec3& target, const Vec3& direction) {
  ASSERTT_OR_RETURN_VOID(IsValid(nr), "nr>=0 && nr<m_cnt");
  const Vec3 position = m_trfs[nr].GetTranslation();
  // The gains are negative, so the error (position - target) turns into a pull toward the target.
  m_lacc[nr] = m_mpid[nr].Update(dt, position - target, Vec3{});
  const float forward = Dot(direction, m_trfs[nr].GetXAxis());
  const float side = Dot(direction, m_trfs[nr].GetYAxis());
  if (forward >= 0.0f) {
    const float a = m_tpid[nr].Update(dt, -asinf(Clamp(side, -1.0f, 1.0f)), 0.0f);
    m_aacc[nr] = Clamp(a, -10.0f, 10.0f);
  } else {
    // Behind us the controller's angle would mislead; turn at a fixed rate toward the target's side.
    m_aacc[nr] = side > 0.0f ? 5.0f : -5.0f;
  }
}

void Actors::SetElevation(int nr, float distance) {
  if (!IsValid(nr)) return;
  const Vec3 p = m_trfs[nr].GetTranslation();
  if (p.LengthSquared() <= 0.001f) return;
  m_trfs[nr].SetTranslation(Normalize(p) * distance);
}

// The neighbour of tile `own` whose centre is nearest to the position (first of equals), or -1;
// *ownDist and *bestDist get the distances of the unit position from the two unit centres.
static int NearestNeighbour(const Globe& globe, int own, const Vec3& position, float* ownDist, float* bestDist) {
  const Vec3 p = Normalize(position);
  *ownDist = (Normalize(globe.TilePosition(own)) - p).Length();
  int best = -1;
  *bestDist = 0.0f;
  for (int k = 0; k < 6; ++k) {
    const int n = globe.m_nodes[own].neighbours[k];
    if (!globe.IsValid(n)) continue;
    const float d = (p - Normalize(globe.TilePosition(n))).Length();
    if (best < 0 || d < *bestDist) best = n, *bestDist = d;
  }
  return best;
}

float Actors::UpdateLocation(int nr, int* nearest) {
  // Far beyond any border: the caller's height blend does not start without a neighbour.
  constexpr float c_noNeighbour = 1.0e30f;
  if (nearest) *nearest = -1;
  const Globe* globe = m_wld ? &m_wld->globe : nullptr;
  if (!IsValid(nr) || !globe || !globe->IsValid(m_loca[nr]) || !globe->m_trfs) {
    LOGE("Cannot update the location of actor %d at tile %d.", nr, IsValid(nr) ? m_loca[nr] : -1);
    return c_noNeighbour;
  }
  float d0 = 0.0f, bestDist = 0.0f;
  const int best = NearestNeighbour(*globe, m_loca[nr], m_trfs[nr].GetTranslation(), &d0, &bestDist);
  if (best < 0) return c_noNeighbour;
  // A step is performed on the tile the character walked to, so one at work keeps its tile.
  if (d0 > bestDist && !HoldsTile(nr)) {
    m_loca[nr] = best;
    m_wld->items.MoveCarried(nr, best);
  }
  if (nearest) *nearest = best;
  return bestDist - d0;
}

void Actors::Update(float dt) {
  const Globe* globe = m_wld ? &m_wld->globe : nullptr;
  if (!globe || !globe->m_trfs || !globe->m_heights) return;
  for (int nr = 0; nr < m_cnt; ++nr) {
    if (m_stat[nr] & (ST_PRISONER | ST_CLIMBING)) continue;
    // A smitten character does nothing at all: it neither gets hungry nor relieves itself.
    if (!(m_stat[nr] & ST_ACTIVE)) continue;
    if (m_stat[nr] & ST_FALLING) {
      Fall(dt, nr);
      continue;
    }
    if (m_stat[nr] & ST_ASCENDING) {
      CheckGameEnd(dt, nr);
      continue;
    }
    if (!globe->IsValid(m_loca[nr])) {
      ASSERTM(globe->IsValid(m_loca[nr]), "actor %d on tile %d", nr, m_loca[nr]);
      continue;
    }
    m_lvel[nr] += m_lacc[nr] * dt;
    m_avel[nr] += m_aacc[nr] * dt;
    const float cap = c_speedCap * globe->m_hexw;
    const float factor = globe->m_nodes[m_loca[nr]].type == TP_ROAD ? c_roadSpeedFactor : 1.0f;
    const float speed = m_lvel[nr].Length();
    if (speed > cap) m_lvel[nr] = m_lvel[nr] * (factor * cap / speed);
    m_avel[nr] = Clamp(m_avel[nr], -c_angularLimit, c_angularLimit);

    Vec3 position = m_trfs[nr].GetTranslation() + m_lvel[nr] * dt;
    if (HoldsTile(nr)) {
      // At work on its tile, coasting or a push from a neighbour stops at the border rather
      // than carrying the character into the next tile while its step is under way.
      float own = 0.0f, other = 0.0f;
      if (NearestNeighbour(*globe, m_loca[nr], position, &own, &other) >= 0 && own > other) {
        position = m_trfs[nr].GetTranslation();
        m_lvel[nr] = Vec3{};
      }
    }
    const Vec3 heading = Normalize(m_trfs[nr].GetXAxis() + m_trfs[nr].GetYAxis() * (m_avel[nr] * c_turnPerStep));
    m_trfs[nr] = Matrix44::AlignZX(heading, globe->m_trfs[m_loca[nr]].GetZAxis());
    m_trfs[nr].SetTranslation(position);

    m_timeSinceEating[nr] += dt;
    if (m_timeSinceEating[nr] > c_hungerSeconds) PauseToEat(nr);
    if (m_timeUntilPoop[nr] > 0.0f) {
      m_timeUntilPoop[nr] -= dt;
      if (m_timeUntilPoop[nr] <= 0.0f) {
        m_stat[nr] |= ST_POOPING;
        if (m_wld) m_wld->PostF("soundeffect name=poop tile=%d", m_loca[nr]);
      }
    }
  }
}

void Actors::PauseToEat(int nr) {
  if (!IsValid(nr) || m_assi[nr] == 5) return;
  LOGI("%s is pausing '%s' to eat.", m_name[nr].c_str(), AssignmentName(m_assi[nr]));
  m_prva[nr] = m_assi[nr];
  m_assi[nr] = 5;
}

void Actors::MakeChosenOne(int nr) {
  ASSERTT_OR_RETURN_VOID(IsValid(nr), "nr>=0 && nr<m_cnt");
  m_stat[nr] |= ST_CHOSEN | ST_FALLING;
  // A quarter turn about Y, so the character falls lying on its back, high above its tile.
  Matrix44& m = m_trfs[nr];
  const Vec3 x = m.GetXAxis();
  const Vec3 z = m.GetZAxis();
  const Vec3 p = m.GetTranslation();
  m.SetAxis(0, z);
  m.SetAxis(2, -x);
  m.SetTranslation(p * 1.9f);
  if (m_wld) m_wld->Post("soundeffect name=scream gain=0.20 tile=-1");
}

void Actors::Fall(float dt, int nr) {
  const Globe* globe = m_wld ? &m_wld->globe : nullptr;
  if (!IsValid(nr) || !globe || !globe->IsValid(m_loca[nr]) || !globe->m_trfs || !globe->m_heights) return;
  Vec3 p = m_trfs[nr].GetTranslation();
  p -= Normalize(p) * (c_fallSpeed * globe->m_hexw * dt);
  m_trfs[nr].SetTranslation(p);
  if (p.Length() < globe->m_heights[m_loca[nr]]) {
    if (m_wld) m_wld->PostF("soundeffect name=drop tile=%d", m_loca[nr]);
    m_trfs[nr] = globe->m_trfs[m_loca[nr]];
    m_stat[nr] &= ~static_cast<uint64_t>(ST_FALLING);
    m_stat[nr] |= ST_LANDED | ST_CLIMBING;
    if (m_wld) m_wld->tutor.Start();
  }
}

void Actors::CheckGameEnd(float dt, int nr) {
  const Globe* globe = m_wld ? &m_wld->globe : nullptr;
  if (!IsValid(nr) || !globe) return;
  Vec3 p = m_trfs[nr].GetTranslation();
  p += Normalize(p) * (c_fallSpeed * globe->m_hexw * dt);
  m_trfs[nr].SetTranslation(p);
  // The win is posted once; the rise goes on while the game-end screen shows.
  if (p.Length() > c_ascendWinRadius) GameEndPost(*m_wld);
}

bool Actors::FollowPath(int nr) {
  if (!IsValid(nr)) return false;
  if (m_stat[nr] & ST_ENGAGED) {
    m_tgtl[nr] = PlayerLocation();
    return true;
  }
  if (m_tgtl[nr] != -1 && m_tgtl[nr] != m_loca[nr]) return true;
  if (m_pathStage[nr] >= m_pasz[nr]) return false;
  NextWaypoint(nr);
  return true;
}

int Actors::NextWaypoint(int nr) {
  if (!IsValid(nr)) return -1;
  if (m_tgtl[nr] != -1 && m_tgtl[nr] != m_loca[nr]) return -1;
  const int stage = m_pathStage[nr];
  if (stage < 0 || stage >= m_pasz[nr] || stage >= c_tilePathLimit) return -1;
  int tile = m_ploc[nr][stage];
  const Globe* globe = m_wld ? &m_wld->globe : nullptr;
  if (globe && tile >= globe->m_sz) {
    LOGE("%s has tile %d in its path, beyond the planet's %d tiles.", m_name[nr].c_str(), tile, globe->m_sz);
    tile = -1;
  }
  m_tgtl[nr] = tile;
  m_pathStage[nr] = stage + 1;
  return tile < 0 ? -1 : tile;
}

// The sequence a plan step plays, or -1 when the step has none of its own.
static int64_t StepAnimation(const char* name) {
  static const char* const c_magic[] = {"pickup", "drop",  "deposit", "eat",   "saw",  "mine",
                                        "stake",  "plant", "scoop",   "smelt", "forge"};
  for (const char* prefix : c_magic)
    if (Begins(name, prefix)) return ANIM_CASTMAGIC;
  if (Begins(name, "cut") || Begins(name, "clear_")) return ANIM_ATTACKB;
  if (Begins(name, "free") || Begins(name, "build_") || Begins(name, "smash")) return ANIM_ATTACKA;
  return -1;
}

void Actors::UpdateAnimation(float dt) {
  for (int nr = 0; nr < m_cnt; ++nr) {
    const uint64_t st = m_stat[nr];
    int64_t seq = ANIM_IDLE;
    bool loop = true;
    const int stage = m_planStage[nr];
    const int64_t stepSeq =
        (stage >= 0 && stage < m_planSize[nr] && stage < c_planStepLimit && m_planActions[nr][stage])
            ? StepAnimation(m_planActions[nr][stage])
            : -1;
    if (!(st & ST_ACTIVE)) {
      seq = ANIM_DEATH, loop = false;
    } else if (st & ST_CLIMBING) {
      seq = ANIM_SPAWN, loop = false;
    } else if (st & ST_POOPING) {
      seq = ANIM_JUMP, loop = false;
    } else if (m_lvel[nr].LengthSquared() > 0.0001f) {
      seq = ANIM_WALK;
    } else if (st & (ST_PRISONER | ST_FALLING)) {
      seq = ANIM_RUNSCARED;
    } else if (stepSeq >= 0) {
      seq = stepSeq;
    }

    if (seq != m_animSeq[nr]) {
      m_animTime[nr] = 0.0f;
      m_animSeq[nr] = seq;
      m_animLoop[nr] = loop ? 1 : 0;
      continue;
    }
    m_animTime[nr] += dt;
    if (seq == ANIM_SPAWN && m_animTime[nr] > c_climbSeconds) {
      // Climbing ends once per landing: the bit goes with the message, so the intro ends once;
      // when the outbox is full the bit stays and the next step tries again.
      if (!m_wld || m_wld->Post("intro ended=1")) {
        LOGI("%s stopped climbing.", m_name[nr].c_str());
        m_stat[nr] &= ~static_cast<uint64_t>(ST_CLIMBING);
      }
    } else if (seq == ANIM_JUMP && m_animTime[nr] > c_poopSeconds) {
      m_stat[nr] &= ~static_cast<uint64_t>(ST_POOPING);
      if (m_wld) m_wld->items.Add("poop", m_loca[nr], 0);
    }
  }
}

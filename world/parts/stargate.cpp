// The stargate: gems gathering on a tile raise it, it turns, and a crowned player's character ascends through it.
#include "world/parts/stargate.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "utility/log.h"
#include "world/wld.h"

static constexpr double c_twoPi = 6.283185307179586;

// One angle for every stargate of the process; it is never saved.
static float stargateAngle = 0.0f;

float StargateAngle() { return stargateAngle; }

void StargateReset() { stargateAngle = 0.0f; }

int CheckStargate(Items& items, float dt) {
  int looked = 0;
  // m_cnt is read afresh each time round: raising a stargate adds no item, but nothing here
  // should rely on that.
  for (int i = 0; i < items.m_cnt && i < MAXITEMS; ++i) {
    if (items.m_name[i].Empty() || !(items.m_stat[i] & IS_GEM)) continue;
    ++looked;
    const int t = items.m_loca[i];
    int together = 0;
    int uncarried = 0;
    for (int j = 0; j < items.m_cnt && j < MAXITEMS; ++j) {
      if (items.m_name[j].Empty() || !(items.m_stat[j] & IS_GEM) || items.m_loca[j] != t) continue;
      ++together;
      if (items.m_carr[j] < 0) ++uncarried;
    }
    // A lone gem stays still; the more gems together, the faster they pulse.
    const float speed = static_cast<float>(together - 1);
    const float phase = speed * dt + items.m_tphs[i];
    items.m_tspe[i] = speed;
    items.m_tphs[i] = phase - std::floor(phase);
    if (together != c_stargateGems || uncarried != c_stargateGems) continue;
    Wld* world = items.m_wld;
    if (!world || !world->globe.IsValid(t) || world->buildings.Find(t, "stargate") >= 0) continue;
    // A full building table refuses the stargate; the next step tries again, and the sound is
    // kept for the step on which it really rises.
    if (world->buildings.Add("stargate", t, 0) >= 0) world->Post("soundeffect name=drama tile=-1");
  }
  return looked;
}

void Ascend(Buildings& buildings, float dt) {
  stargateAngle += c_stargateTurnRate * dt;
  if (stargateAngle > c_twoPi) stargateAngle -= static_cast<float>(c_twoPi);
  const Matrix44 turn = Matrix44::Rotation(Vec3{0.0f, 0.0f, 1.0f}, -stargateAngle);
  Wld* world = buildings.m_wld;
  if (!world) return;
  Actors& actors = world->actors;
  const int p = actors.FindPlayer();
  for (int b = 0; b < buildings.m_cnt && b < MAXBUILDINGS; ++b) {
    if (strcmp(buildings.m_name[b].c_str(), "stargate") != 0) continue;
    const int t = buildings.m_loca[b];
    if (!world->globe.IsValid(t)) continue;
    if (world->globe.m_trfs) buildings.m_trfs[b] = world->globe.m_trfs[t] * turn;
    if (p < 0 || actors.m_loca[p] != t) continue;
    const uint64_t stat = actors.m_stat[p];
    if (!(stat & ST_CROWNED) || (stat & ST_ASCENDING)) continue;
    // The rise starts with its message: when the outbox is full, the next step tries again.
    if (!world->Post("playerascend")) continue;
    LOGI("%s ascends into the sky.", actors.m_name[p].c_str());
    actors.m_stat[p] |= ST_ASCENDING;
  }
}

bool GameEndPost(Wld& world) {
  if (world.m_gameEnded) return false;
  // Posted once, but only counted as posted when it fitted: a full outbox must not lose the win.
  if (!world.PostF("gameend win=1 lose=0 age=%f tilecount=%d", static_cast<double>(static_cast<float>(world.m_age)),
                   world.globe.m_sz))
    return false;
  world.m_gameEnded = 1;
  return true;
}

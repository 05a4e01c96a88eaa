// Freeing and greeting plan steps: a prisoner let out of its cage, a partner drawn into a conversation.
#include "world/actors/perform/actors_perform_free.h"

#include <cfloat>
#include <cstdio>

#include "utility/log.h"
#include "world/actors/perform/actors_perform_production.h"
#include "world/parts/buildings.h"
#include "world/planet/globe.h"
#include "world/wld.h"

int PerformFree(Actors& a, int nr, const char* name, float dt) {
  const int loc = StepTile(a, nr, name);
  if (loc < 0) return -1;
  Wld& w = *a.m_wld;
  const char* who = a.m_name[nr].c_str();
  const int cage = w.buildings.Find(loc, "cage");
  if (cage < 0) {
    LOGE("There is no cage here. %s cannot free prisoner.", who);
    return -1;
  }
  int prisoner = -1;
  for (int i = a.m_cnt - 1; i >= 0 && prisoner < 0; --i)
    if ((a.m_stat[i] & ST_PRISONER) && a.m_loca[i] == loc) prisoner = i;
  if (prisoner < 0) {
    LOGE("There is no prisoner here. %s cannot free it.", who);
    return -1;
  }
  if (StepFirstCall(a, nr, name)) a.m_wld->PostF("soundeffect name=clang gain=2.0 tile=%d", loc);
  if (StepCountDown(a, nr, dt)) return a.m_planStage[nr];
  // The broken cage stays as "jailbreak", so the tile is no goal for freeing any more.
  w.buildings.m_name[cage].Set("jailbreak");
  w.globe.AttribsClear(loc, AT_CAGE);
  a.m_stat[prisoner] &= ~static_cast<uint64_t>(ST_PRISONER);
  ++w.m_changes;
  LogEvent("%s freed prisoner %s", who, a.m_name[prisoner].c_str());
  w.PostStat("s_freed", 1, false);
  int freePop = 0;
  for (int i = 0; i < a.m_cnt; ++i)
    if (!(a.m_stat[i] & ST_PRISONER)) ++freePop;
  w.PostStatValue("s_freepop", freePop, true);
  return a.NextPlanStep(nr);
}

int PerformGreet(Actors& a, int nr, const char* name, float) {
  if (!a.IsValid(nr) || !name) {
    LOGE("Character %d cannot greet.", nr);
    return -1;
  }
  // A conversation is going on: one partner at a time.
  if (a.FindPartner(nr) >= 0) return a.m_planStage[nr];
  // The nearest in space, not in tiles, whatever its status; the lower number on a tie.
  const Vec3 here = a.m_trfs[nr].GetTranslation();
  int closest = -1;
  float best = FLT_MAX;
  for (int i = 0; i < a.m_cnt; ++i) {
    if (i == nr) continue;
    const float d = (a.m_trfs[i].GetTranslation() - here).Length();
    if (closest < 0 || d < best) closest = i, best = d;
  }
  ASSERTT(closest >= 0, "closest>=0");
  if (closest >= 0) a.m_stat[closest] |= ST_ENGAGED;
  return a.m_planStage[nr];
}

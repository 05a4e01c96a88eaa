// Goal choice: one goal fact per assignment, chosen each step from the demand tallies and what the character carries.
#include "world/actors/goal_choose.h"

#include "utility/log.h"
#include "world/wld.h"

// A have-fact wanted false while carrying the thing makes the planner get rid of it (deliver,
// stock or use it); wanted true makes the character fetch one.
static GoalFact HaveGoal(const Wld& world, int n, const char* atom, const char* item) {
  return GoalFact{atom, world.items.FindCarried(item, n) < 0};
}

bool GoalPick(const Wld& world, int n, int assignment, GoalFact* out) {
  if (!out) return false;
  const Demand& d = world.demand;
  switch (assignment) {
    case 0:  // procure lumber: clear blocked sites first, then feed the sawmill or the sites
      if (d.Count(DS_WOODYBLOCK) >= 1)
        *out = GoalFact{"woodcleared", true};
      else if (d.Count(DS_SAWMILL) == 0 && d.Count(DS_WOOD) == 0 && d.Count(DS_STORAGE) > 0)
        *out = HaveGoal(world, n, "havetimber", "timber");
      else if (d.Count(DS_SAWMILL) == 0 && d.Count(DS_WOOD) == 0)
        *out = GoalFact{"treecut", true};
      else
        *out = HaveGoal(world, n, "havelumber", "lumber");
      return true;
    case 1:  // procure stone
      if (d.Count(DS_ROCKYBLOCK) > 0)
        *out = GoalFact{"rockcleared", true};
      else if (d.Count(DS_STORAGE) == 0 && d.Count(DS_STONE) == 0)
        *out = GoalFact{"stonecut", true};
      else
        *out = HaveGoal(world, n, "havestone", "stone");
      return true;
    case 2:  // plant trees
      *out = HaveGoal(world, n, "havemanure", "manure");
      return true;
    case 3:  // build stuff: the most valuable work first
      if (d.Count(DS_FACTWORK) > 0)
        *out = GoalFact{"factorycomplete", true};
      else if (d.Count(DS_DECKWORK) > 0)
        *out = GoalFact{"deckcomplete", true};
      else if (d.Count(DS_BRIDGEWORK) > 0)
        *out = GoalFact{"bridgecomplete", true};
      else if (d.Count(DS_ROADWORK) > 0)
        *out = GoalFact{"roadcomplete", true};
      else
        return false;
      return true;
    case 4:  // feed orcs
      if (d.Count(DS_HUNGRY) <= 0) return false;
      *out = GoalFact{"haveprovisions", true};
      return true;
    case 5:  // eat some fruit
      *out = GoalFact{"fullbelly", true};
      return true;
    case 6:  // free prisoners
      if (d.Count(DS_CAGE) <= 0) return false;
      *out = GoalFact{"prisonerfree", true};
      return true;
    default:
      return false;
  }
}

bool GoalChoose(int n, Wld* world, int assignment) {
  if (!world || !world->actors.IsValid(n)) {
    LOGE("Cannot choose a goal for character %d: no such character.", n);
    return false;
  }
  Actors& actors = world->actors;
  // The player's character acts only through the player's own actions.
  if (actors.m_stat[n] & ST_CHOSEN) return false;
  if (assignment < -1 || assignment >= NUMASSIGNMENTS) {
    // Only a damaged save holds such a number; dropping it keeps this from repeating every step.
    LOGW("%s has unknown assignment %d; it is dropped.", actors.m_name[n].c_str(), assignment);
    if (actors.m_assi[n] == assignment) actors.m_assi[n] = -1;
    return false;
  }
  GoalFact goal;
  if (!GoalPick(*world, n, assignment, &goal)) return false;
  actors.SetGoal(n, 1, &goal.atom, &goal.value);
  return true;
}

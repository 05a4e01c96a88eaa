// Action planner vocabulary: registration by name, state building, matching and transitions.
#include "quarnplan256/goap.h"

#include <immintrin.h>

#include <cstring>

#include "utility/log.h"

namespace {

void BitsFill(AtomBits* b, uint64_t word) {
  for (int k = 0; k < 4; ++k) b->bits[k] = word;
}

// Linear scan by name, registering at the end when new. Shared by atoms and actions.
int NameIndex(const char** names, int* count, int limit, const char* name) {
  for (int i = 0; i < *count; ++i)
    if (strcmp(names[i], name) == 0) return i;
  if (*count >= limit) return -1;
  names[*count] = name;
  return (*count)++;
}

bool SetCondition(ActionPlanner* ap, const char* actionname, const char* atomname, bool value, bool effect) {
  ASSERT_OR_RETURN(ap, false);
  const int actidx = ActionIndex(ap, actionname);
  const int atomidx = AtomIndex(ap, atomname);
  if (actidx < 0 || atomidx < 0) {
    if (effect)
      LOGE("Failed to set pstcondition '%s'.", atomname ? atomname : "(null)");
    else
      LOGE("Failed to set precondition '%s'.", atomname ? atomname : "(null)");
    return false;
  }
  ASSERTM(actidx < ap->numactions, "Action idx %d for '%s' exceeds num actions(%d)", actidx, actionname,
          ap->numactions);
  ASSERT(actidx < MAXACTIONS);
  WorldState* ws = effect ? &ap->postconds[actidx] : &ap->preconds[actidx];
  return StateSet(ap, ws, atomname, value);
}

}  // namespace

void PlannerClear(ActionPlanner* ap) {
  if (!ap) return;
  ap->numatoms = 0;
  ap->numactions = 0;
  for (int i = 0; i < MAXATOMS; ++i) {
    ap->atomnames[i] = nullptr;
    BitsFill(&ap->atommasks[i], 0);
  }
  for (int i = 0; i < MAXACTIONS; ++i) {
    ap->actionnames[i] = nullptr;
    ap->actioncosts[i] = 0;
    StateClear(&ap->preconds[i]);
    StateClear(&ap->postconds[i]);
  }
}

int AtomIndex(ActionPlanner* ap, const char* atomname) {
  if (!ap || !atomname) {
    LOGE("Atom lookup without a planner or a name.");
    return -1;
  }
  const int before = ap->numatoms;
  const int idx = NameIndex(ap->atomnames, &ap->numatoms, MAXATOMS, atomname);
  if (idx < 0) {
    LOGE("Exceeded MAXATOMS(%d)", MAXATOMS);
    return -1;
  }
  if (ap->numatoms != before) {
    BitsFill(&ap->atommasks[idx], 0);
    ap->atommasks[idx].bits[idx / 64] = uint64_t(1) << (idx % 64);
  }
  return idx;
}

int ActionIndex(ActionPlanner* ap, const char* actionname) {
  if (!ap || !actionname) {
    LOGE("Action lookup without a planner or a name.");
    return -1;
  }
  const int before = ap->numactions;
  const int idx = NameIndex(ap->actionnames, &ap->numactions, MAXACTIONS, actionname);
  if (idx < 0) {
    LOGE("Exceeded MAXACTIONS(%d)", MAXACTIONS);
    return -1;
  }
  if (ap->numactions != before) ap->actioncosts[idx] = 1;
  return idx;
}

bool PlannerSetCost(ActionPlanner* ap, const char* actionname, int cost) {
  // The search adds costs along a path and assumes they never shrink it.
  if (cost < 0) {
    LOGE("Refused negative cost %d for action '%s'.", cost, actionname ? actionname : "(null)");
    return false;
  }
  const int idx = ActionIndex(ap, actionname);
  if (idx < 0) return false;
  ap->actioncosts[idx] = cost;
  return true;
}

bool PlannerSetPre(ActionPlanner* ap, const char* actionname, const char* atomname, bool value) {
  return SetCondition(ap, actionname, atomname, value, false);
}

bool PlannerSetPst(ActionPlanner* ap, const char* actionname, const char* atomname, bool value) {
  return SetCondition(ap, actionname, atomname, value, true);
}

void StateClear(WorldState* ws) {
  if (!ws) return;
  BitsFill(&ws->values, 0);
  BitsFill(&ws->ignore, ~uint64_t(0));
}

bool StateSet(ActionPlanner* ap, WorldState* ws, const char* atomname, bool value) {
  ASSERT_OR_RETURN(ws, false);
  const int idx = AtomIndex(ap, atomname);
  if (idx < 0) return false;
  const AtomBits& m = ap->atommasks[idx];
  for (int k = 0; k < 4; ++k) {
    if (value)
      ws->values.bits[k] |= m.bits[k];
    else
      ws->values.bits[k] &= ~m.bits[k];
    ws->ignore.bits[k] &= ~m.bits[k];
  }
  return true;
}

bool StateMatches(const WorldState& state, const WorldState& goal) {
  uint64_t diff = 0;
  for (int k = 0; k < 4; ++k) diff |= (state.values.bits[k] ^ goal.values.bits[k]) & ~goal.ignore.bits[k];
  return diff == 0;
}

void StateDescribe(const ActionPlanner* ap, const WorldState& state, char* buf, int bufsize) {
  if (!buf || bufsize <= 0) return;
  buf[0] = 0;
  if (!ap) return;
  int len = 0;
  const int last = bufsize - 1;  // room kept for the terminating NUL
  for (int i = 0; i < ap->numatoms && len < last; ++i) {
    const uint64_t m = uint64_t(1) << (i % 64);
    if (state.ignore.bits[i / 64] & m) continue;
    const bool on = (state.values.bits[i / 64] & m) != 0;
    for (const char* c = ap->atomnames[i]; *c && len < last; ++c)
      buf[len++] = (on && *c >= 'a' && *c <= 'z') ? char(*c - 32) : *c;
    if (len < last) buf[len++] = ',';
  }
  buf[len] = 0;
}

// The precondition test and the new state, 256 bits at a time: the game requires AVX (its start-up
// check), so this loop over every action of every expanded state is compiled for it whatever the
// rest of the build targets. The bit operations are those of StateMatches and of the plain loop.
__attribute__((target("avx"))) int PlannerTransitions(const ActionPlanner* ap, const WorldState& from,
                                                      WorldState* tostates, const char** actionnames, int* actioncosts,
                                                      int capacity) {
  if (!ap || !tostates || !actionnames || !actioncosts) return 0;
  typedef uint64_t V4u __attribute__((vector_size(32)));
  V4u fromValues, fromIgnore;
  memcpy(&fromValues, &from.values, sizeof(fromValues));
  memcpy(&fromIgnore, &from.ignore, sizeof(fromIgnore));
  int count = 0;
  for (int a = 0; a < ap->numactions && count < capacity; ++a) {
    V4u preValues, preIgnore;
    memcpy(&preValues, &ap->preconds[a].values, sizeof(preValues));
    memcpy(&preIgnore, &ap->preconds[a].ignore, sizeof(preIgnore));
    const V4u diff = (fromValues ^ preValues) & ~preIgnore;
    if (!_mm256_testz_si256(reinterpret_cast<__m256i>(diff), reinterpret_cast<__m256i>(diff))) continue;
    V4u postValues, postIgnore;
    memcpy(&postValues, &ap->postconds[a].values, sizeof(postValues));
    memcpy(&postIgnore, &ap->postconds[a].ignore, sizeof(postIgnore));
    const V4u toValues = (postValues & ~postIgnore) | (fromValues & postIgnore);
    const V4u toIgnore = fromIgnore & postIgnore;
    WorldState& to = tostates[count];
    memcpy(&to.values, &toValues, sizeof(toValues));
    memcpy(&to.ignore, &toIgnore, sizeof(toIgnore));
    actionnames[count] = ap->actionnames[a];
    actioncosts[count] = ap->actioncosts[a];
    ++count;
  }
  return count;
}

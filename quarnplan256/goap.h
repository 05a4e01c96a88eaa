// Action planner vocabulary: atoms, actions and world states registered by name.
#pragma once

#include <cstdint>

// A planner holds at most this many atoms and actions; the game's domain table fits.
#define MAXATOMS 256
#define MAXACTIONS 160

// 256 bits, bit i (word i/64, bit i%64) belonging to the atom of index i.
struct AtomBits {
  uint64_t bits[4];
};

// The unit of planning: a value and a care flag for every atom. An ignore bit of 1
// means the state does not care about that atom and its value bit means nothing.
struct WorldState {
  AtomBits values;
  AtomBits ignore;
};

// Atoms and actions registered by name. Only the name pointers are kept, so the
// caller's texts must outlive the planner. Indices follow first use and never change
// until the next PlannerClear; the game's domain table relies on that order.
struct ActionPlanner {
  WorldState preconds[MAXACTIONS];   // per action: required atoms and values
  WorldState postconds[MAXACTIONS];  // per action: atoms it sets and their new values
  AtomBits atommasks[MAXATOMS];      // per atom: only its own bit set
  const char* atomnames[MAXATOMS];
  int numatoms;
  const char* actionnames[MAXACTIONS];
  int actioncosts[MAXACTIONS];
  int numactions;
};

// Forgets every atom and action; the planner is usable afterwards.
void PlannerClear(ActionPlanner* ap);
// Finds the atom or registers it; -1 (with a log line) when the planner is full.
int AtomIndex(ActionPlanner* ap, const char* atomname);
// Finds the action or registers it with cost 1; -1 (with a log line) when full.
int ActionIndex(ActionPlanner* ap, const char* actionname);
// Registers the action if new and sets its cost. A negative cost is refused.
bool PlannerSetCost(ActionPlanner* ap, const char* actionname, int cost);
// Registers the action, then the atom, if new, and sets the atom in the action's
// preconditions (Pre) or effects (Pst). The last value set for an atom wins.
bool PlannerSetPre(ActionPlanner* ap, const char* actionname, const char* atomname, bool value);
bool PlannerSetPst(ActionPlanner* ap, const char* actionname, const char* atomname, bool value);

// Values all 0, ignore all 1: a state that cares about nothing.
void StateClear(WorldState* ws);
// Registers the atom if new, sets its value and marks it cared.
bool StateSet(ActionPlanner* ap, WorldState* ws, const char* atomname, bool value);
// True when the state has the goal's value on every atom the goal cares about.
bool StateMatches(const WorldState& state, const WorldState& goal);
// Writes the cared atoms as "NAME,name," (upper case when true), cut to the buffer.
void StateDescribe(const ActionPlanner* ap, const WorldState& state, char* buf, int bufsize);
// Lists, in action index order, the actions applicable in the from state with the
// state each leads to; at most capacity of them. Returns how many were written.
int PlannerTransitions(const ActionPlanner* ap, const WorldState& from, WorldState* tostates, const char** actionnames,
                       int* actioncosts, int capacity);

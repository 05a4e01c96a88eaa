// Plan search: A* over world states from a start to any state matching a goal.
//
// The open and closed sets are process-wide static tables (about 27 MB together, far
// too big for a thread's stack), emptied at the start of every search. PlanSearch is
// therefore not re-entrant: one thread at a time may call it (in the game, only the
// planning thread). The planner and the states it is given must not change meanwhile.
#pragma once

#include "quarnplan256/goap.h"

// Set numbers for the NodeSet functions.
#define OPENSET 0
#define CLOSEDSET 1

constexpr int c_nodeSetSlots = 65536;  // slots per set, open addressing
constexpr int c_nodeSetLimit = 32768;  // live nodes in either set at which a search gives up
constexpr int c_heuristicWeight = 10;  // estimated cost per atom that still differs from the goal
constexpr int c_maxTransitions = MAXACTIONS;

// A node of the search. Nodes are identified by state.values alone: two states with
// the same values and different ignore bits are the same node.
struct SearchNode {
  WorldState state;
  int g;               // cost of the cheapest known path from the start
  int h;               // estimate to the goal
  int f;               // g + h
  const char* action;  // action that led here from the parent; null for the start
  WorldState parentstate;
};

// Diagnostic counters of one set, as NodeSetReport prints them.
struct NodeSetStats {
  int count;       // live nodes
  int collisions;  // occupied slots stepped over while inserting
  int insertions;  // nodes stored
  int reads;       // lookups (finds and best-node pops)
  int tries;       // slots probed by lookups
};

// Finds the cheapest plan from start to a state matching goal. On entry *plansize is
// the capacity of plan (action names) and states (the state after each step; may be
// null). Returns the plan's cost with *plansize its length and the steps in performing
// order; or -1: with *plansize -1 when no plan exists or it does not fit the buffer,
// and *plansize unchanged when the search grew too large.
int PlanSearch(const ActionPlanner* ap, const WorldState& start, const WorldState& goal, const char** plan,
               WorldState* states, int* plansize);

// Walks the parents of goalnode into the out arrays. False (with an error line, and
// *plansize -1) when the plan is longer than *plansize. Used by PlanSearch.
bool PlanReconstruct(const ActionPlanner* ap, const SearchNode& goalnode, const char** plan, WorldState* states,
                     int* plansize);

// Empties both sets and all their counters completely, for tests that must not depend
// on what an earlier search left behind.
void PlanSearchReset();

// The set operations below are PlanSearch's own; they are public for tests and tools.
// The home slot of a key; probing goes on linearly from there. Plans do not depend on
// slot numbers, but they are pinned so that set statistics stay comparable.
int NodeSetHash(const AtomBits& key);
void NodeSetInit(int set);
// Stores the node unless its key is already found on the way; returns its slot or -1.
int NodeSetInsert(int set, const SearchNode& node);
int NodeSetFind(int set, const AtomBits& key);
const SearchNode* NodeSetAt(int set, int slot);
int NodeSetRemove(int set, const AtomBits& key);
// Takes the open node of lowest f (the earliest in the open list among equals).
SearchNode* OpenSetPopBest(SearchNode* out);
int NodeSetCount(int set);
NodeSetStats NodeSetCounters(int set);
// Prints the set's counters to standard output (not the log) when it was used.
void NodeSetReport(int set);

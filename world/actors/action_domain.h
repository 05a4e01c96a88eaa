// The game's planning vocabulary: the atoms every character plans with and the 113 actions over them.
#pragma once

#include "quarnplan256/goap.h"

// Atoms and actions of the domain. Atom indices follow the order in which the
// action table first names them; the table's row order is the action index,
// which the plan search uses to break ties, so neither order may change.
constexpr int c_domainAtomCount = 93;
constexpr int c_domainActionCount = 113;

// Registers the domain's actions with their costs, preconditions and effects on a
// planner that PlannerClear has emptied. Names passed to the planner are string
// constants, so they outlive any planner.
void ActionsDefine(ActionPlanner* ap);

// Sets every atom of the domain false (and cared about) in the state. Called after
// ActionsDefine, so it registers no new atom.
void AtomsInit(ActionPlanner* ap, WorldState* ws);

// Name of the domain atom with this index (0 .. c_domainAtomCount-1), or null.
const char* DomainAtomName(int index);

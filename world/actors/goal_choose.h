// Goal choice: turns a character's assignment and the settlement's open work into one goal fact for its planner.
#pragma once

struct Wld;

// One planner fact and the value the goal wants for it.
struct GoalFact {
  const char* atom;  // a constant atom name of the action domain
  bool value;
};

// The goal fact for the assignment, read from the demand tallies and what character n carries.
// False, with out untouched, when the assignment gives no goal now (no work of its kind, -1, or
// a number outside 0..6).
bool GoalPick(const Wld& world, int n, int assignment, GoalFact* out);

// Picks the goal for the assignment and hands it to Actors::SetGoal, which asks for a plan.
// The player's character never gets a goal from its assignment. An assignment outside -1..6
// (a damaged save) is logged once and dropped, so the character stays idle. True when a goal
// was handed over.
bool GoalChoose(int n, Wld* world, int assignment);

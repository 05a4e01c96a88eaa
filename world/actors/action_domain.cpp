// The game's planning vocabulary: the atom list, the action table and the family rules that expand it.
#include "world/actors/action_domain.h"

#include <cstdio>
#include <cstring>

#include "utility/log.h"

namespace {

// Every atom of the domain, in index order. This is the order in which the action
// table below first names them; a test holds the two together. These literals are
// the only atom texts handed to the planner, so they live as long as the program.
const char* const c_atomNames[c_domainAtomCount] = {
    "nearwoodaxe",
    "havewoodaxe",
    "handsfull",
    "nearpickaxe",
    "havepickaxe",
    "nearemptybucket",
    "haveemptybucket",
    "nearhammer",
    "havehammer",
    "nearboltcutter",
    "haveboltcutter",
    "nearstone",
    "havestone",
    "neartimber",
    "havetimber",
    "nearlumber",
    "havelumber",
    "nearironore",
    "haveironore",
    "nearmanure",
    "havemanure",
    "nearingot",
    "haveingot",
    "nearfruit",
    "havefruit",
    "nearredgem",
    "haveredgem",
    "neargreengem",
    "havegreengem",
    "nearbluegem",
    "havebluegem",
    "nearyellowgem",
    "haveyellowgem",
    "nearorangegem",
    "haveorangegem",
    "nearpurplegem",
    "havepurplegem",
    "nearpinkgem",
    "havepinkgem",
    "nearcyangem",
    "havecyangem",
    "nearchest",
    "havechest",
    "demandforstone",
    "terrainisstorage",
    "demandforlumber",
    "demandfortimber",
    "haveprovisions",
    "terrainiswoody",
    "terrainisrocky",
    "terrainissawmill",
    "terrainisirondeposit",
    "terrainisgrove",
    "terrainissmelter",
    "terrainiswoodconstruction",
    "terrainisstoneconstruction",
    "terrainissuppliedbridgework",
    "terrainissupplieddeckwork",
    "terrainissuppliedroadwork",
    "terrainissuppliedfactwork",
    "terrainissmithy",
    "terrainiswoodyblock",
    "terrainisrockyblock",
    "terrainiscage",
    "terrainisbuildable",
    "terrainiscoast",
    "terrainisurban",
    "nearpoop",
    "treecut",
    "stonecut",
    "prisonerfree",
    "bridgecomplete",
    "roadcomplete",
    "deckcomplete",
    "factorycomplete",
    "woodcleared",
    "rockcleared",
    "hungry",
    "fullbelly",
    "nearsawmillmarker",
    "havesawmillmarker",
    "nearsmeltermarker",
    "havesmeltermarker",
    "nearsmithymarker",
    "havesmithymarker",
    "nearstoragemarker",
    "havestoragemarker",
    "nearbridgemarker",
    "havebridgemarker",
    "nearroadmarker",
    "haveroadmarker",
    "nearorc",
    "orcgreeted",
};

// Finding something or walking somewhere makes every terrain fact false...
const char* const c_terrainKinds[] = {
    "woody",
    "rocky",
    "sawmill",
    "irondeposit",
    "grove",
    "smelter",
    "woodconstruction",
    "stoneconstruction",
    "suppliedbridgework",
    "supplieddeckwork",
    "suppliedroadwork",
    "suppliedfactwork",
    "smithy",
    "woodyblock",
    "rockyblock",
    "cage",
    "buildable",
    "coast",
    "urban",
    "storage",
};
// ...a search forgets the loose items it passed by...
const char* const c_searchForgets[] = {"woodaxe", "pickaxe", "emptybucket", "hammer", "boltcutter", "fruit", "poop"};
// ...and a walk forgets every tool and material that was at hand. Gems, chests and
// markers are remembered: only their own pickup and drop touch their near facts.
const char* const c_walkForgets[] = {"woodaxe", "pickaxe", "emptybucket", "hammer", "boltcutter", "stone", "timber",
                                     "lumber",  "ironore", "manure",      "ingot",  "poop",       "fruit"};

// How an action's conditions and effects come about. For the family rules the thing
// x is the part of the action name after its last underscore.
enum ActionRule {
  AR_PICKUP,        // near+x, not have+x, not handsfull -> have+x, handsfull
  AR_MARKERPICKUP,  // near+x, not handsfull -> have+x, handsfull (a second one may be taken)
  AR_DROP,          // have+x -> not have+x, near+x, not handsfull
  AR_STOCK,         // have+x, not demandfor+x, terrainisstorage -> as drop
  AR_FIND,          // -> every terrain false, loose items forgotten, near+x
  AR_FINDPOOP,      // as find, but the fruit at hand is not forgotten
  AR_SCAVENGE,      // demandfor+x -> as find
  AR_WALK,          // -> terrainis+x, the other terrains false, tools and materials forgotten
  AR_STAKE,         // terrainisbuildable, have+x -> not have+x, not handsfull
  AR_STAKECOAST,    // as stake, on the coast
  AR_STAKEROAD,     // as stake, anywhere that is not urban
  AR_OWN,           // conditions and effects spelled out in the row
};

// One action. For AR_OWN, pre and pst list atom names separated by blanks, with a
// leading '!' for a false value, in the order they are set.
struct ActionRow {
  const char* name;
  int cost;
  ActionRule rule;
  const char* pre;
  const char* pst;
};

// The action table. The row number is the action's index, which breaks ties between
// equally cheap plans, and the first use of each atom here fixes the atom indices.
// The costs of walk_to_, find_ and scavenge_ are replaced per character from a
// survey of its surroundings before each plan; all other costs stay as given.
const ActionRow c_actionRows[c_domainActionCount] = {
    {"pickup_woodaxe", 2, AR_PICKUP, nullptr, nullptr},  // 0
    {"pickup_pickaxe", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_emptybucket", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_hammer", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_boltcutter", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_stone", 2, AR_PICKUP, nullptr, nullptr},  // 5
    {"pickup_timber", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_lumber", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_ironore", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_manure", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_ingot", 2, AR_PICKUP, nullptr, nullptr},  // 10
    {"pickup_fruit", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_redgem", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_greengem", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_bluegem", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_yellowgem", 2, AR_PICKUP, nullptr, nullptr},  // 15
    {"pickup_orangegem", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_purplegem", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_pinkgem", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_cyangem", 2, AR_PICKUP, nullptr, nullptr},
    {"pickup_chest", 2, AR_MARKERPICKUP, nullptr, nullptr},  // 20
    // Stone and lumber dropped in the open are priced high, so that a plan rather
    // delivers them to a site or stocks them in storage.
    {"drop_stone", 120, AR_DROP, nullptr, nullptr},
    {"drop_timber", 40, AR_DROP, nullptr, nullptr},
    {"drop_lumber", 120, AR_DROP, nullptr, nullptr},
    {"drop_ironore", 40, AR_DROP, nullptr, nullptr},
    {"drop_manure", 40, AR_DROP, nullptr, nullptr},  // 25
    {"drop_ingot", 40, AR_DROP, nullptr, nullptr},
    {"drop_redgem", 2, AR_DROP, nullptr, nullptr},
    {"drop_greengem", 2, AR_DROP, nullptr, nullptr},
    {"drop_bluegem", 2, AR_DROP, nullptr, nullptr},
    {"drop_yellowgem", 2, AR_DROP, nullptr, nullptr},  // 30
    {"drop_orangegem", 2, AR_DROP, nullptr, nullptr},
    {"drop_purplegem", 2, AR_DROP, nullptr, nullptr},
    {"drop_pinkgem", 2, AR_DROP, nullptr, nullptr},
    {"drop_cyangem", 2, AR_DROP, nullptr, nullptr},
    {"drop_chest", 2, AR_DROP, nullptr, nullptr},  // 35
    {"stock_stone", 6, AR_STOCK, nullptr, nullptr},
    {"stock_lumber", 6, AR_STOCK, nullptr, nullptr},
    {"stock_timber", 6, AR_STOCK, nullptr, nullptr},
    {"drop_woodaxe", 1, AR_DROP, nullptr, nullptr},
    {"drop_pickaxe", 1, AR_DROP, nullptr, nullptr},  // 40
    {"drop_emptybucket", 1, AR_DROP, nullptr, nullptr},
    {"drop_hammer", 1, AR_DROP, nullptr, nullptr},
    {"drop_boltcutter", 1, AR_DROP, nullptr, nullptr},
    // Feeding hands over the provisions but the planner keeps the hands full.
    {"feed", 12, AR_OWN, "haveprovisions", "!haveprovisions"},
    {"smash_chest", 10, AR_OWN, "nearchest", "!nearchest"},  // 45
    {"find_woodaxe", 12, AR_FIND, nullptr, nullptr},
    {"find_pickaxe", 12, AR_FIND, nullptr, nullptr},
    {"find_emptybucket", 12, AR_FIND, nullptr, nullptr},
    {"find_hammer", 12, AR_FIND, nullptr, nullptr},
    {"find_boltcutter", 12, AR_FIND, nullptr, nullptr},  // 50
    {"find_fruit", 12, AR_FIND, nullptr, nullptr},
    {"find_poop", 12, AR_FINDPOOP, nullptr, nullptr},
    {"scavenge_stone", 99, AR_SCAVENGE, nullptr, nullptr},
    {"scavenge_lumber", 99, AR_SCAVENGE, nullptr, nullptr},
    {"scavenge_timber", 99, AR_SCAVENGE, nullptr, nullptr},  // 55
    {"walk_to_woody", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_rocky", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_sawmill", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_irondeposit", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_grove", 12, AR_WALK, nullptr, nullptr},  // 60
    {"walk_to_smelter", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_woodconstruction", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_stoneconstruction", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_suppliedbridgework", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_supplieddeckwork", 12, AR_WALK, nullptr, nullptr},  // 65
    {"walk_to_suppliedroadwork", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_suppliedfactwork", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_smithy", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_woodyblock", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_rockyblock", 12, AR_WALK, nullptr, nullptr},  // 70
    {"walk_to_cage", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_buildable", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_coast", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_urban", 12, AR_WALK, nullptr, nullptr},
    {"walk_to_storage", 12, AR_WALK, nullptr, nullptr},  // 75
    {"cut_tree", 8, AR_OWN, "terrainiswoody havewoodaxe", "neartimber treecut"},
    {"cut_stone", 8, AR_OWN, "terrainisrocky havepickaxe", "nearstone stonecut"},
    {"free", 6, AR_OWN, "terrainiscage haveboltcutter", "prisonerfree"},
    {"deliver_lumber", 4, AR_OWN, "terrainiswoodconstruction demandforlumber havelumber", "!havelumber !handsfull"},
    // Stone is taken by any stone site, wanted or not.
    {"deliver_stone", 4, AR_OWN, "terrainisstoneconstruction havestone", "!havestone !handsfull"},  // 80
    {"saw", 7, AR_OWN, "terrainissawmill havetimber demandfortimber", "!havetimber nearlumber !handsfull"},
    {"mine_ore", 7, AR_OWN, "terrainisirondeposit havepickaxe", "nearironore"},
    {"scoop_poop", 7, AR_OWN, "nearpoop haveemptybucket", "!haveemptybucket nearmanure !handsfull"},
    {"plant_tree", 7, AR_OWN, "terrainisgrove havemanure", "!havemanure !handsfull nearemptybucket"},
    // The smelter takes the ore from the hands when it smelts; the planner's fact
    // of having ore stays as it was.
    {"smelt", 7, AR_OWN, "terrainissmelter haveironore", "nearingot !handsfull"},  // 85
    {"forge_crown", 7, AR_OWN, "terrainissmithy haveingot", "!handsfull !haveingot"},
    {"build_bridge", 7, AR_OWN, "terrainissuppliedbridgework havehammer", "bridgecomplete"},
    {"build_road", 7, AR_OWN, "terrainissuppliedroadwork havehammer", "roadcomplete"},
    {"build_deck", 7, AR_OWN, "terrainissupplieddeckwork havehammer", "deckcomplete"},
    {"build_factory", 7, AR_OWN, "terrainissuppliedfactwork havehammer", "factorycomplete"},  // 90
    {"clear_woodyblock", 12, AR_OWN, "havewoodaxe terrainiswoodyblock", "woodcleared neartimber treecut"},
    {"clear_rockyblock", 12, AR_OWN, "havepickaxe terrainisrockyblock", "rockcleared nearstone stonecut"},
    // Fruit leaves the hands only by being eaten: there is no drop_fruit.
    {"eat_fruit", 6, AR_OWN, "havefruit", "!havefruit !handsfull !hungry fullbelly"},
    {"pickup_sawmillmarker", 2, AR_MARKERPICKUP, nullptr, nullptr},
    {"pickup_smeltermarker", 2, AR_MARKERPICKUP, nullptr, nullptr},  // 95
    {"pickup_smithymarker", 2, AR_MARKERPICKUP, nullptr, nullptr},
    {"pickup_storagemarker", 2, AR_MARKERPICKUP, nullptr, nullptr},
    {"drop_sawmillmarker", 2, AR_DROP, nullptr, nullptr},
    {"drop_smeltermarker", 2, AR_DROP, nullptr, nullptr},
    {"drop_smithymarker", 2, AR_DROP, nullptr, nullptr},  // 100
    {"drop_storagemarker", 2, AR_DROP, nullptr, nullptr},
    {"stake_sawmillmarker", 10, AR_STAKE, nullptr, nullptr},
    {"stake_smeltermarker", 10, AR_STAKE, nullptr, nullptr},
    {"stake_smithymarker", 10, AR_STAKE, nullptr, nullptr},
    {"stake_storagemarker", 10, AR_STAKE, nullptr, nullptr},  // 105
    {"pickup_bridgemarker", 2, AR_MARKERPICKUP, nullptr, nullptr},
    {"drop_bridgemarker", 2, AR_DROP, nullptr, nullptr},
    {"stake_bridgemarker", 10, AR_STAKECOAST, nullptr, nullptr},
    {"pickup_roadmarker", 2, AR_MARKERPICKUP, nullptr, nullptr},
    {"drop_roadmarker", 2, AR_DROP, nullptr, nullptr},  // 110
    {"stake_roadmarker", 10, AR_STAKEROAD, nullptr, nullptr},
    {"greet", 4, AR_OWN, "nearorc", "orcgreeted"},
};

// The table expanded once into plain condition lists, so that defining the actions
// for every plan only replays them. A walk sets 1 + 19 + 13 atoms, a find 20 + 7 + 1.
constexpr int c_maxPre = 4;
constexpr int c_maxPst = 36;

struct DomainCond {
  const char* atom;
  bool value;
};

struct DomainAction {
  const char* name;
  int cost;
  int numPre;
  int numPst;
  DomainCond pre[c_maxPre];
  DomainCond pst[c_maxPst];
};

struct DomainTable {
  DomainAction actions[c_domainActionCount];
};

// The program's own text of the atom whose name is prefix + thing, or null.
const char* AtomText(const char* prefix, const char* thing, int thingLength) {
  char name[64];
  int n = snprintf(name, sizeof(name), "%s%.*s", prefix, thingLength, thing);
  if (n > 0 && n < (int)sizeof(name))
    for (const char* atom : c_atomNames)
      if (strcmp(atom, name) == 0) return atom;
  ASSERTM(false, "no domain atom '%s%.*s'", prefix, thingLength, thing);
  return nullptr;
}

const char* AtomText(const char* prefix, const char* thing) { return AtomText(prefix, thing, (int)strlen(thing)); }

void CondAdd(DomainCond* list, int* count, int capacity, const char* atom, bool value) {
  if (!atom) return;  // already reported by AtomText
  ASSERTM_OR_RETURN_VOID(*count < capacity, "more than %d conditions", capacity);
  list[*count] = {atom, value};
  *count += 1;
}

// Adds the atoms named in a blank-separated list; '!' marks a false value.
void CondAddList(DomainCond* list, int* count, int capacity, const char* text) {
  const char* p = text;
  while (*p) {
    if (*p == ' ') {
      p++;
      continue;
    }
    bool value = true;
    if (*p == '!') {
      value = false;
      p++;
    }
    int length = (int)strcspn(p, " ");
    CondAdd(list, count, capacity, AtomText("", p, length), value);
    p += length;
  }
}

DomainAction ActionExpand(const ActionRow& row) {
  DomainAction a = {};
  a.name = row.name;
  a.cost = row.cost;
  const char* x = strrchr(row.name, '_');
  x = x ? x + 1 : row.name;
  auto pre = [&a](const char* atom, bool value) { CondAdd(a.pre, &a.numPre, c_maxPre, atom, value); };
  auto pst = [&a](const char* atom, bool value) { CondAdd(a.pst, &a.numPst, c_maxPst, atom, value); };
  // What a search or a scavenge does to the character's picture of its surroundings.
  auto searched = [&](bool keepFruit) {
    for (const char* kind : c_terrainKinds) pst(AtomText("terrainis", kind), false);
    for (const char* thing : c_searchForgets)
      if (!keepFruit || strcmp(thing, "fruit") != 0) pst(AtomText("near", thing), false);
    pst(AtomText("near", x), true);
  };
  auto staked = [&](const char* ground, bool value) {
    pre(AtomText("", ground), value);
    pre(AtomText("have", x), true);
    pst(AtomText("have", x), false);
    pst(AtomText("", "handsfull"), false);
  };
  switch (row.rule) {
    case AR_PICKUP:
      pre(AtomText("near", x), true);
      pre(AtomText("have", x), false);
      pre(AtomText("", "handsfull"), false);
      pst(AtomText("have", x), true);
      pst(AtomText("", "handsfull"), true);
      break;
    case AR_MARKERPICKUP:
      pre(AtomText("near", x), true);
      pre(AtomText("", "handsfull"), false);
      pst(AtomText("have", x), true);
      pst(AtomText("", "handsfull"), true);
      break;
    case AR_DROP:
      pre(AtomText("have", x), true);
      pst(AtomText("have", x), false);
      pst(AtomText("near", x), true);
      pst(AtomText("", "handsfull"), false);
      break;
    case AR_STOCK:
      pre(AtomText("have", x), true);
      pre(AtomText("demandfor", x), false);
      pre(AtomText("", "terrainisstorage"), true);
      pst(AtomText("have", x), false);
      pst(AtomText("near", x), true);
      pst(AtomText("", "handsfull"), false);
      break;
    case AR_FIND:
      searched(false);
      break;
    case AR_FINDPOOP:
      searched(true);
      break;
    case AR_SCAVENGE:
      pre(AtomText("demandfor", x), true);
      searched(false);
      break;
    case AR_WALK:
      pst(AtomText("terrainis", x), true);
      for (const char* kind : c_terrainKinds)
        if (strcmp(kind, x) != 0) pst(AtomText("terrainis", kind), false);
      for (const char* thing : c_walkForgets) pst(AtomText("near", thing), false);
      break;
    case AR_STAKE:
      staked("terrainisbuildable", true);
      break;
    case AR_STAKECOAST:
      staked("terrainiscoast", true);
      break;
    case AR_STAKEROAD:
      staked("terrainisurban", false);
      break;
    case AR_OWN:
      CondAddList(a.pre, &a.numPre, c_maxPre, row.pre ? row.pre : "");
      CondAddList(a.pst, &a.numPst, c_maxPst, row.pst ? row.pst : "");
      break;
  }
  return a;
}

DomainTable* TableBuild() {
  static DomainTable table;
  for (int i = 0; i < c_domainActionCount; i++) table.actions[i] = ActionExpand(c_actionRows[i]);
  return &table;
}

// Built on first use; safe when the main thread and the planning thread get here together.
const DomainTable& Table() {
  static const DomainTable* table = TableBuild();
  return *table;
}

}  // namespace

void ActionsDefine(ActionPlanner* ap) {
  ASSERT_OR_RETURN_VOID(ap);
  const DomainTable& table = Table();
  bool ok = true;
  for (const DomainAction& a : table.actions) {
    ok = PlannerSetCost(ap, a.name, a.cost) && ok;
    for (int i = 0; i < a.numPre; i++) ok = PlannerSetPre(ap, a.name, a.pre[i].atom, a.pre[i].value) && ok;
    for (int i = 0; i < a.numPst; i++) ok = PlannerSetPst(ap, a.name, a.pst[i].atom, a.pst[i].value) && ok;
  }
  // The planner has logged what did not fit; one line says what it means for plans.
  if (!ok) LOGE("Action domain did not fit the planner (%d atoms, %d actions).", ap->numatoms, ap->numactions);
}

void AtomsInit(ActionPlanner* ap, WorldState* ws) {
  ASSERT_OR_RETURN_VOID(ap && ws);
  for (const char* atom : c_atomNames) StateSet(ap, ws, atom, false);
}

const char* DomainAtomName(int index) {
  if (index < 0 || index >= c_domainAtomCount) return nullptr;
  return c_atomNames[index];
}

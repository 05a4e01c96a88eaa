// A scripted player: plays a world only through the messages a person's input produces, reading the world as the
// visualisation does, and reports how far it got.
#include "world/driver/scripted_player.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "utility/log.h"
#include "utility/message_codec.h"
#include "world/actors/actors_interventions.h"
#include "world/wld.h"

namespace {

const char* const c_taskNames[SP_COUNT] = {"wait",    "greet",   "smash",  "free",   "sawmill",
                                           "storage", "smelter", "smithy", "bridge", "gems",
                                           "crown",   "ascend",  "drop",   "road",   "explore"};

const char* const c_gemNames[8] = {"redgem",    "greengem",  "bluegem", "yellowgem",
                                   "orangegem", "purplegem", "pinkgem", "cyangem"};

// Paths longer than this are walked in legs: the path search keeps at most 256 tiles.
constexpr int c_legSteps = 120;
// Fewer wooded tiles than this within reach: a planter is worth a worker.
constexpr int c_scarceWoods = 30;
// How far the player sees from where it stands, in tile widths: as far as a close view of the
// planet shows a tile well enough to judge whether a building fits there.
constexpr float c_sightWidths = 10.0f;
// Gems lying together before the smelter and smithy are staked: the crown is wanted only once the
// stargate is in sight, and the factories' lumber goes to bridges until then.
constexpr int c_gemsForCrown = 5;
// Roads longer than this many tile widths cost more stone than they save walking.
constexpr float c_roadSpan = 14.0f;
// Chests this close are smashed before anything else: the camp's tools and markers.
constexpr int c_campReach = 14;
// A task that has not got anywhere after this long is given up on for a while. The crown's chain
// (ore to the smelter, the ingot to a smithy maybe far off) is given longer.
constexpr double c_taskPatience = 90.0;
constexpr double c_crownPatience = 360.0;
// Seconds a walk may take per tile of the way, with a wide margin for crowds and slopes.
constexpr double c_secondsPerStep = 2.0;
constexpr double c_blacklistSeconds = 240.0;

// One thing to do: be on `tile`, holding `hands` ("" empty hands, null anything), then start `action`
// (null: just stand there).
struct Step {
  int task;
  int tile;
  const char* hands;
  char action[64];
};

bool IsGem(const Items& items, int i) { return (items.m_stat[i] & IS_GEM) != 0; }

int Carried(const Wld& w, int player) {
  const Items& items = w.items;
  for (int i = 0; i < items.m_cnt; ++i)
    if (!items.m_name[i].Empty() && items.m_carr[i] == player) return i;
  return -1;
}

bool Offered(const char* const* names, int count, const char* action) {
  for (int i = 0; i < count; ++i)
    if (!strcmp(names[i], action)) return true;
  return false;
}

int CountFinishedNamed(const Buildings& b, const char* name) {
  int n = 0;
  for (int i = 0; i < b.m_cnt; ++i)
    if (!strcmp(b.m_name[i].c_str(), name)) ++n;
  return n;
}

bool ItemNamed(const Items& items, int i, const char* name) {
  return !items.m_name[i].Empty() && !strcmp(items.m_name[i].c_str(), name);
}

bool AnyItemNamed(const Items& items, const char* name) {
  for (int i = 0; i < items.m_cnt; ++i)
    if (ItemNamed(items, i, name)) return true;
  return false;
}

}  // namespace

int ScriptedChooseWork(const int* count, int has, const int* offers, bool planterWanted, int spent) {
  const bool noWood = (spent & 1) != 0, noStone = (spent & 2) != 0;
  // The only one at a work that is still on offer (and has something left to work on) stays at it:
  // a bridge wants stone and lumber both.
  if (has >= 0 && has < NUMASSIGNMENTS && count[has] == 0 && offers[has] && !(has < 2 && (spent & (1 << has))))
    return -1;
  int want;
  if (offers[3] && count[3] == 0)
    want = 3;
  else if (count[0] == 0 && !noWood)
    want = 0;
  else if (count[1] == 0 && !noStone)
    want = 1;
  else if (offers[2] && count[2] == 0 && planterWanted)
    want = 2;
  else if (offers[3] && count[3] * 3 < count[0] + count[1])
    want = 3;
  else if (offers[6] && count[6] == 0 && count[0] + count[1] >= 4)
    want = 6;
  else if (noWood && noStone)
    want = offers[2] ? 2 : 0;
  else if (noWood || noStone)
    want = noWood ? 1 : 0;
  else
    want = count[1] < count[0] ? 1 : 0;
  return want == has ? -1 : want;
}

const char* ScriptedTaskName(int task) { return task >= 0 && task < SP_COUNT ? c_taskNames[task] : "?"; }

ScriptedPlayer::~ScriptedPlayer() {
  delete[] dist;
  delete[] parent;
  delete[] queue;
  delete[] seen;
}

// Steps from the player's tile over every passable edge, as the path search walks.
static void Reach(ScriptedPlayer* sp, const Globe& g, int from) {
  if (sp->tiles != g.m_sz) {
    delete[] sp->dist;
    delete[] sp->parent;
    delete[] sp->queue;
    delete[] sp->seen;
    sp->tiles = g.m_sz;
    sp->dist = new int[g.m_sz];
    sp->parent = new int[g.m_sz];
    sp->queue = new int[g.m_sz];
    sp->seen = new unsigned char[g.m_sz]();
    sp->seenFrom = -1;
  }
  for (int t = 0; t < g.m_sz; ++t) sp->dist[t] = -1, sp->parent[t] = -1;
  if (!g.IsValid(from)) return;
  int head = 0, tail = 0;
  sp->dist[from] = 0;
  sp->queue[tail++] = from;
  while (head < tail) {
    const int t = sp->queue[head++];
    const GridNode& node = g.m_nodes[t];
    for (int k = 0; k < 6; ++k) {
      const int n = node.neighbours[k];
      if (n < 0 || n >= g.m_sz || node.edgecosts[k] < 1 || sp->dist[n] >= 0) continue;
      sp->dist[n] = sp->dist[t] + 1;
      sp->parent[n] = t;
      sp->queue[tail++] = n;
    }
  }
}

// Marks the tiles in sight of where the player stands as seen.
static void LookAround(ScriptedPlayer* sp, const Globe& g, int from) {
  if (!sp->seen || !g.IsValid(from) || from == sp->seenFrom) return;
  sp->seenFrom = from;
  const Vec3 eye = g.TilePosition(from);
  const float reach = c_sightWidths * (g.m_hexw > 0 ? g.m_hexw : 1.0f);
  for (int t = 0; t < g.m_sz; ++t)
    if (!sp->seen[t] && (g.TilePosition(t) - eye).LengthSquared() <= reach * reach) sp->seen[t] = 1;
}

static bool Blacklisted(const ScriptedPlayer& sp, int task, int tile, double now) {
  for (int i = 0; i < SP_BLACKLIST; ++i)
    if (sp.blackTile[i] == tile && sp.blackTask[i] == task && sp.blackUntil[i] > now) return true;
  return false;
}

static void Blacklist(ScriptedPlayer* sp, int task, int tile, double now, const char* why) {
  int slot = 0;
  for (int i = 1; i < SP_BLACKLIST; ++i)
    if (sp->blackUntil[i] < sp->blackUntil[slot]) slot = i;
  sp->blackTile[slot] = tile;
  sp->blackTask[slot] = task;
  sp->blackUntil[slot] = now + c_blacklistSeconds;
  LOGI("Scripted player gives up on %s at tile %d for a while: %s.", ScriptedTaskName(task), tile, why);
}

// The nearest reachable land tile not yet seen from close by, -1 none.
static int NearestUnseenLand(const ScriptedPlayer& sp, const Globe& g, double now) {
  int best = -1;
  for (int t = 0; t < g.m_sz; ++t)
    if (sp.dist[t] >= 0 && !sp.seen[t] && g.m_nodes[t].type == TP_LAND && !Blacklisted(sp, SP_EXPLORE, t, now) &&
        (best < 0 || sp.dist[t] < sp.dist[best]))
      best = t;
  return best;
}

// The nearest reachable uncarried item of that name, -1 none. `gemsAway` skips gems on the gather tile.
static int NearestItem(const ScriptedPlayer& sp, const Wld& w, const char* name, int task, double now) {
  const Items& items = w.items;
  int best = -1, bestDist = 0;
  for (int i = 0; i < items.m_cnt; ++i) {
    if (!ItemNamed(items, i, name) || items.m_carr[i] != -1) continue;
    const int t = items.m_loca[i];
    if (t < 0 || t >= sp.tiles || sp.dist[t] < 0 || Blacklisted(sp, task, t, now)) continue;
    // Material delivered to a site cannot be taken back.
    if ((items.m_stat[i] & IS_MATERIAL) && (w.globe.Attribs(t) & (AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION)))
      continue;
    if (best < 0 || sp.dist[t] < bestDist) best = i, bestDist = sp.dist[t];
  }
  return best;
}

// A step that ends with the player holding `name`: none when it already does.
static bool Fetch(const ScriptedPlayer& sp, const Wld& w, int player, const char* name, int task, double now,
                  Step* step) {
  const int held = Carried(w, player);
  if (held >= 0 && ItemNamed(w.items, held, name)) return false;
  const int i = NearestItem(sp, w, name, task, now);
  if (i < 0) return false;
  step->task = task;
  step->tile = w.items.m_loca[i];
  step->hands = "";
  snprintf(step->action, sizeof(step->action), "pickup_%s", name);
  return true;
}

static bool Holds(const Wld& w, int player, const char* name) {
  const int held = Carried(w, player);
  return held >= 0 && ItemNamed(w.items, held, name);
}

// A level, open spot for a factory: the tile and its ring on land, away from other buildings, with
// as few trees, rocks and decks as can be had, near `anchor`; -1 none.
static int FactorySite(const ScriptedPlayer& sp, const Wld& w, int anchor, int task, double now) {
  const Globe& g = w.globe;
  int best = -1, bestScore = 0;
  const uint64_t taken = AT_CAGE | AT_STORAGE | AT_FILLEDSTORAGE | AT_BRIDGE | AT_SAWMILL | AT_SMELTER | AT_SMITHY |
                         AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION | AT_BRIDGECONSTRUCTION | AT_DECKCONSTRUCTION |
                         AT_FACTCONSTRUCTION | AT_ROADCONSTRUCTION | AT_WOODYBLOCK | AT_ROCKYBLOCK;
  for (int t = 0; t < g.m_sz; ++t) {
    if (sp.dist[t] < 0 || !sp.seen[t] || g.m_nodes[t].type != TP_LAND) continue;
    const uint64_t a = g.Attribs(t);
    if (!(a & AT_BUILDABLE) || (a & taken) || g.IsBuildable(t) < 1) continue;
    if (Blacklisted(sp, task, t, now) || w.buildings.Find(t, nullptr) >= 0) continue;
    int lo = g.m_nodes[t].height, hi = lo, cover = (a & (AT_WOODY | AT_ROCKY)) ? 8 : 0;
    bool ok = true;
    for (int k = 0; k < 6 && ok; ++k) {
      const int n = g.m_nodes[t].neighbours[k];
      if (n < 0 || g.m_nodes[n].type != TP_LAND || (g.Attribs(n) & taken) || w.buildings.Find(n, nullptr) >= 0) {
        ok = false;
        break;
      }
      if (g.Attribs(n) & (AT_WOODY | AT_ROCKY)) cover += 3;
      const int h = g.m_nodes[n].height;
      lo = h < lo ? h : lo;
      hi = h > hi ? h : hi;
    }
    if (!ok) continue;
    // One deck site, three lumber, for every tile of the seven below the highest.
    int decks = g.m_nodes[t].height < hi ? 1 : 0;
    for (int k = 0; k < 6; ++k) decks += g.m_nodes[g.m_nodes[t].neighbours[k]].height < hi ? 1 : 0;
    // Near the camp, with few decks and little to clear first.
    const Vec3 d = g.TilePosition(t) - g.TilePosition(anchor >= 0 ? anchor : t);
    const int score =
        static_cast<int>(d.Length() / (g.m_hexw > 0 ? g.m_hexw : 1.0f)) + 12 * decks + cover + sp.dist[t] / 4;
    if (best < 0 || score < bestScore) best = t, bestScore = score;
  }
  if (best < 0 && !sp.siteMissingSaid) {
    // Said once: why no factory can be staked within reach.
    int land = 0, buildable = 0, level = 0;
    for (int t = 0; t < g.m_sz; ++t) {
      if (sp.dist[t] < 0 || !sp.seen[t] || g.m_nodes[t].type != TP_LAND) continue;
      ++land;
      if (!(g.Attribs(t) & AT_BUILDABLE)) continue;
      ++buildable;
      if (g.IsBuildable(t) >= 1) ++level;
    }
    LOGI(
        "Scripted player finds no factory site within reach: %d land tiles seen, %d marked buildable, %d of them "
        "with a stakeable ring.",
        land, buildable, level);
    const_cast<ScriptedPlayer&>(sp).siteMissingSaid = true;
  }
  return best;
}

// Where a bridge staked at a coast tile would reach land, and over how many water tiles; -1 none.
static int BridgeLanding(const Globe& g, int coast, int* length) {
  const int first = g.BridgeStart(coast);
  if (first < 0) return -1;
  int steps = 0;
  const int landing =
      g.BridgeLine(coast, FacingFrame(g.m_trfs[coast], g.TilePosition(first), false), nullptr, nullptr, &steps);
  if (landing < 0) return -1;
  *length = steps;
  return landing;
}

// What a landmass is worth to the settlement: trees and rocks to build with, prisoners to free,
// and above all the gems and chests lying there. Only what the player can see counts: trees, rocks,
// cages and items are drawn over the whole planet, but whether a building fits is judged only on
// tiles looked at from close by (land not yet seen so counts as a little room).
static void ContinentValues(const ScriptedPlayer& sp, const Wld& w, int* value) {
  const Globe& g = w.globe;
  // Apple trees within reach feed the settlers; without any, a landmass that has some is worth a lot.
  bool applesHere = false;
  const int32_t* apples = w.trees.m_density[TK_APPL];
  for (int t = 0; t < g.m_sz && apples && !applesHere; ++t)
    if (sp.dist[t] >= 0 && apples[t] > 0) applesHere = true;
  for (int c = 0; c < g.m_numcontinents; ++c) {
    value[c] = 0;
    if (g.m_contsizes[c] <= 0 || g.m_nodes[g.m_continents[c][0]].type == TP_WATR) continue;
    int pine = 0, mapl = 0, appl = 0, rock = 0;
    g.CountOnContinent(c, &pine, &mapl, &appl, &rock);
    value[c] = pine + mapl + appl + 2 * rock;
    if (!applesHere && appl > 0) value[c] += 150;
    // Room for factories counts too, most of all while the sawmill has none.
    int room = 0, unseen = 0;
    for (int j = 0; j < g.m_contsizes[c]; ++j) {
      const int t = g.m_continents[c][j];
      if (!sp.seen[t])
        ++unseen;
      else if ((g.Attribs(t) & AT_BUILDABLE) && g.IsBuildable(t) >= 1)
        ++room;
    }
    room += unseen / 8;
    value[c] += (CountFinishedNamed(w.buildings, "sawmill") ? 1 : 10) * (room < 20 ? room : 20);
  }
  for (int n = 0; n < w.actors.m_cnt; ++n) {
    const int t = w.actors.m_loca[n];
    if ((w.actors.m_stat[n] & ST_PRISONER) && g.IsValid(t)) value[g.m_nodes[t].continent] += 40;
  }
  for (int i = 0; i < w.items.m_cnt; ++i) {
    if (w.items.m_name[i].Empty() || w.items.m_carr[i] != -1 || !g.IsValid(w.items.m_loca[i])) continue;
    const int c = g.m_nodes[w.items.m_loca[i]].continent;
    // What a chest holds shows only once it is smashed.
    if (ItemNamed(w.items, i, "chest")) value[c] += 120;
    if (IsGem(w.items, i)) value[c] += 200;
  }
}

// The coast tile to stake the next bridge on: the one whose bridge reaches the landmass worth most
// per water tile crossed; -1 none.
static int ChooseBridge(ScriptedPlayer* sp, const Wld& w, double now) {
  const Globe& g = w.globe;
  static int value[MAXCONTINENTS];
  ContinentValues(*sp, w, value);
  int best = -1, bestLanding = -1;
  double bestScore = 0.0;
  const uint64_t busy = AT_BRIDGECONSTRUCTION | AT_DECKCONSTRUCTION | AT_FACTCONSTRUCTION | AT_ROADCONSTRUCTION |
                        AT_SUPPLIEDBRIDGEWORK | AT_SUPPLIEDROADWORK | AT_SUPPLIEDDECKWORK | AT_SUPPLIEDFACTWORK;
  for (int t = 0; t < g.m_sz; ++t) {
    if (sp->dist[t] < 0 || g.m_nodes[t].type == TP_WATR || g.m_nodes[t].type == TP_BRDG) continue;
    const uint64_t a = g.Attribs(t);
    // A site under trees or rocks waits until it is cleared.
    if (!(a & AT_COAST) || (a & (busy | AT_WOODY | AT_ROCKY)) || Blacklisted(*sp, SP_BRIDGE, t, now)) continue;
    int length = 0;
    const int landing = BridgeLanding(g, t, &length);
    if (landing < 0 || sp->dist[landing] >= 0 || length < 1) continue;
    const int c = g.m_nodes[landing].continent;
    if (c >= MAXCONTINENTS || value[c] <= 0) continue;
    // Long bridges eat three lumber and three stone a tile; the walk there counts a little too.
    const double score = value[c] / (length + 0.5) - 0.01 * sp->dist[t];
    if (best < 0 || score > bestScore) best = t, bestScore = score, bestLanding = landing;
  }
  sp->bridgeLanding = bestLanding;
  if (best >= 0) {
    int length = 0;
    BridgeLanding(g, best, &length);
    sp->bridgeLength = length;
    sp->bridgeValue = value[g.m_nodes[bestLanding].continent];
  }
  return best;
}

// What the player told a character to do, -1 nothing (or not known to this player).
static int Told(const ScriptedPlayer& sp, int n) {
  return n >= 0 && n < 32 && sp.told[n] >= 0 && sp.told[n] < NUMASSIGNMENTS ? sp.told[n] : -1;
}

// How many of the freed characters the player told each work, leaving out `except`.
static void CountTold(const ScriptedPlayer& sp, const Actors& a, int except, int* count) {
  for (int k = 0; k < NUMASSIGNMENTS; ++k) count[k] = 0;
  for (int n = 0; n < a.m_cnt && n < 32; ++n)
    if (n != except && !(a.m_stat[n] & (ST_PRISONER | ST_CHOSEN)) && (a.m_stat[n] & ST_ACTIVE) && Told(sp, n) >= 0)
      ++count[Told(sp, n)];
}

// A site whose materials have all been brought (its label has gone): it wants a builder.
static bool SiteReadyToBuild(const Wld& w) {
  for (int b = 0; b < w.buildings.m_cnt; ++b) {
    int wood = 0, lumber = 0, stone = 0, stoneLying = 0;
    if (!w.buildings.SiteMaterials(b, &wood, &lumber, &stone, &stoneLying)) continue;
    if (lumber >= wood && stoneLying >= stone) return true;
  }
  return false;
}

// Wooded tiles within reach.
static int Woods(const ScriptedPlayer& sp, const Globe& g) {
  int woods = 0;
  for (int t = 0; t < g.m_sz; ++t)
    if (sp.dist[t] >= 0 && (g.Attribs(t) & AT_WOODY)) ++woods;
  return woods;
}

// Work with nothing left to work on within reach: bit 0 no trees to fell, bit 1 no rocks to quarry.
static int SpentWork(const ScriptedPlayer& sp, const Globe& g) {
  bool woods = false, rocks = false;
  for (int t = 0; t < g.m_sz && !(woods && rocks); ++t) {
    if (sp.dist[t] < 0) continue;
    woods = woods || (g.Attribs(t) & AT_WOODY);
    rocks = rocks || (g.Attribs(t) & AT_ROCKY);
  }
  return (woods ? 0 : 1) | (rocks ? 0 : 2);
}

// A planter is worth a worker where woods are few, once a bucket and droppings lie about.
static bool PlanterWanted(const ScriptedPlayer& sp, const Wld& w) {
  const Globe& g = w.globe;
  if (Woods(sp, g) >= c_scarceWoods) return false;
  bool poop = false, bucket = false;
  for (int i = 0; i < w.items.m_cnt; ++i) {
    if (ItemNamed(w.items, i, "emptybucket")) bucket = true;
    const int t = w.items.m_loca[i];
    if (ItemNamed(w.items, i, "poop") && w.items.m_carr[i] == -1 && g.IsValid(t) && sp.dist[t] >= 0) poop = true;
  }
  return poop && bucket;
}

// A plain land tile for a road's end near `near`: not urban (roads are not staked among buildings),
// reachable; -1 none.
static int RoadEnd(const ScriptedPlayer& sp, const Wld& w, int near) {
  const Globe& g = w.globe;
  if (!g.IsValid(near)) return -1;
  int best = -1;
  float bestD = 0.0f;
  const uint64_t busy = AT_URBAN | AT_WOODCONSTRUCTION | AT_STONECONSTRUCTION | AT_BRIDGECONSTRUCTION |
                        AT_DECKCONSTRUCTION | AT_FACTCONSTRUCTION | AT_ROADCONSTRUCTION | AT_SUPPLIEDBRIDGEWORK |
                        AT_SUPPLIEDROADWORK | AT_SUPPLIEDDECKWORK | AT_SUPPLIEDFACTWORK;
  for (int t = 0; t < g.m_sz; ++t) {
    if (sp.dist[t] < 0 || g.m_nodes[t].type != TP_LAND || (g.Attribs(t) & busy)) continue;
    const float d = (g.TilePosition(t) - g.TilePosition(near)).LengthSquared();
    if (best < 0 || d < bestD) best = t, bestD = d;
  }
  return best;
}

// The assignment the greeted character is best given now, chosen from the speech menu's lines;
// -1 leaves it at the work it has.
static int WantedAssignment(const ScriptedPlayer& sp, const Wld& w, int partner) {
  int count[NUMASSIGNMENTS];
  CountTold(sp, w.actors, partner, count);
  return ScriptedChooseWork(count, Told(sp, partner), w.demand.m_offers, PlanterWanted(sp, w), SpentWork(sp, w.globe));
}

// The speech line that gives the assignment: its place among the assignments offered now; -1 (ending
// the talk without an order) for none.
static int SpeechLine(const Wld& w, int assignment) {
  if (assignment < 0) return -1;
  int line = 0;
  for (int k = 0; k < NUMASSIGNMENTS; ++k) {
    if (!w.demand.m_offers[k]) continue;
    if (k == assignment) return line;
    ++line;
  }
  return -1;
}

// The next thing to do, in the order a sensible player would see to things.
static bool Decide(ScriptedPlayer* sp, const Wld& w, int player, double now, Step* step) {
  const Globe& g = w.globe;
  const Items& items = w.items;
  const Actors& a = w.actors;
  const int here = a.m_loca[player];
  memset(step, 0, sizeof(*step));
  step->hands = nullptr;

  // The ascension: a crowned character walks onto the stargate.
  if (a.m_stat[player] & ST_CROWNED) {
    for (int b = 0; b < w.buildings.m_cnt; ++b) {
      if (strcmp(w.buildings.m_name[b].c_str(), "stargate")) continue;
      const int t = w.buildings.m_loca[b];
      if (!g.IsValid(t) || sp->dist[t] < 0) continue;
      step->task = SP_ASCEND;
      step->tile = t;
      return true;
    }
  }

  // Greet the one just freed (or one to be given other work).
  if (sp->greetFor >= 0) {
    const int n = sp->greetFor;
    if (now - sp->greetSince > 60.0 || !a.IsValid(n) || (a.m_stat[n] & ST_PRISONER) || !(a.m_stat[n] & ST_ACTIVE)) {
      sp->greetFor = -1;
    } else {
      const int t = a.m_loca[n];
      step->task = SP_GREET;
      step->tile = t;
      if (sp->dist[t] >= 0 && sp->dist[t] <= 1) step->tile = here;
      snprintf(step->action, sizeof(step->action), "greet");
      return true;
    }
  }

  // Chests near the camp first: tools, materials and markers.
  int chest = -1, chestDist = 0, farChest = -1, farDist = 0;
  for (int i = 0; i < items.m_cnt; ++i) {
    if (!ItemNamed(items, i, "chest")) continue;
    const int t = items.m_loca[i];
    if (!g.IsValid(t) || sp->dist[t] < 0 || Blacklisted(*sp, SP_SMASH, t, now)) continue;
    if (sp->dist[t] <= c_campReach && (chest < 0 || sp->dist[t] < chestDist)) chest = i, chestDist = sp->dist[t];
    if (farChest < 0 || sp->dist[t] < farDist) farChest = i, farDist = sp->dist[t];
  }
  if (chest >= 0) {
    step->task = SP_SMASH;
    step->tile = items.m_loca[chest];
    snprintf(step->action, sizeof(step->action), "smash_chest");
    return true;
  }

  // Caged prisoners within reach: fetch a bolt cutter, then free them.
  int cage = -1, cageDist = 0;
  for (int n = 0; n < a.m_cnt; ++n) {
    if (!(a.m_stat[n] & ST_PRISONER)) continue;
    const int t = a.m_loca[n];
    if (!g.IsValid(t) || sp->dist[t] < 0 || !(g.Attribs(t) & AT_CAGE) || Blacklisted(*sp, SP_FREE, t, now)) continue;
    if (cage < 0 || sp->dist[t] < cageDist) cage = t, cageDist = sp->dist[t];
  }
  if (cage >= 0) {
    if (Fetch(*sp, w, player, "boltcutter", SP_FREE, now, step)) return true;
    if (Holds(w, player, "boltcutter")) {
      step->task = SP_FREE;
      step->tile = cage;
      step->hands = "boltcutter";
      snprintf(step->action, sizeof(step->action), "free");
      return true;
    }
  }

  // Factories: the sawmill first, then storage when the depot is full, then smelter and smithy.
  struct Factory {
    int task;
    const char* building;
    const char* marker;
    const char* site;
  };
  static const Factory c_factories[4] = {{SP_SAWMILL, "sawmill", "sawmillmarker", "sawmillsite"},
                                         {SP_STORAGE, "storage", "storagemarker", "storagesite"},
                                         {SP_SMELTER, "smelter", "smeltermarker", "smeltersite"},
                                         {SP_SMITHY, "smithy", "smithymarker", "smithysite"}};
  const bool sawmill = CountFinishedNamed(w.buildings, "sawmill") > 0;
  // The depot (or a storage) has filled up once: more room is wanted until another storage stands.
  const int storages = CountFinishedNamed(w.buildings, "storage");
  if (storages > sp->storagesSeen) sp->storageWanted = false;
  sp->storagesSeen = storages;
  for (int t = 0; t < g.m_sz && !sp->storageWanted; ++t)
    if (g.Attribs(t) & AT_FILLEDSTORAGE) sp->storageWanted = true;
  // The smelter and smithy only once most gems lie together: until the stargate is in sight the
  // lumber is better spent on bridges toward the rest.
  int gemsTogether = 0;
  for (int i = 0; i < items.m_cnt; ++i)
    if (!items.m_name[i].Empty() && IsGem(items, i) && items.m_carr[i] == -1 && items.m_loca[i] == sp->gatherTile)
      ++gemsTogether;
  bool siteWanted = false;
  for (const Factory& f : c_factories) {
    if (f.task != SP_SAWMILL && !sawmill) continue;
    // Where woods are few the lumber goes to bridges toward more before it goes to a storage.
    if (f.task == SP_STORAGE && (!sp->storageWanted || Woods(*sp, g) < c_scarceWoods)) continue;
    if ((f.task == SP_SMELTER || f.task == SP_SMITHY) && gemsTogether < c_gemsForCrown) continue;
    if (CountFinishedNamed(w.buildings, f.building) > 0 || AnyItemNamed(items, f.site)) continue;
    // Only with somewhere to stake it is a marker worth carrying.
    const int site = FactorySite(*sp, w, sp->landingTile, f.task, now);
    if (site < 0) {
      siteWanted = siteWanted || NearestItem(*sp, w, f.marker, f.task, now) >= 0 || Holds(w, player, f.marker);
      continue;
    }
    if (Fetch(*sp, w, player, f.marker, f.task, now, step)) return true;
    if (!Holds(w, player, f.marker)) continue;
    step->task = f.task;
    step->tile = site;
    step->hands = f.marker;
    snprintf(step->action, sizeof(step->action), "stake_%s", f.marker);
    return true;
  }
  // No site for a factory among the tiles seen: look over the rest of the land within reach first.
  const int unseen = siteWanted ? NearestUnseenLand(*sp, g, now) : -1;
  if (unseen >= 0) {
    step->task = SP_EXPLORE;
    step->tile = unseen;
    return true;
  }

  // The crown: once the smelter and smithy stand, ore becomes an ingot and the ingot a crown.
  const bool smelter = CountFinishedNamed(w.buildings, "smelter") > 0;
  const bool smithy = CountFinishedNamed(w.buildings, "smithy") > 0;
  if (smelter && smithy && !(a.m_stat[player] & ST_CROWNED)) {
    int smithyTile = -1, smelterTile = -1;
    for (int b = 0; b < w.buildings.m_cnt; ++b) {
      const int t = w.buildings.m_loca[b];
      if (!g.IsValid(t) || sp->dist[t] < 0) continue;
      if (!strcmp(w.buildings.m_name[b].c_str(), "smithy")) smithyTile = t;
      if (!strcmp(w.buildings.m_name[b].c_str(), "smelter")) smelterTile = t;
    }
    if (smithyTile >= 0 && smelterTile >= 0) {
      if (Holds(w, player, "ingot")) {
        step->task = SP_CROWN;
        step->tile = smithyTile;
        step->hands = "ingot";
        snprintf(step->action, sizeof(step->action), "forge_crown");
        return true;
      }
      if (Fetch(*sp, w, player, "ingot", SP_CROWN, now, step)) return true;
      if (Holds(w, player, "ironore")) {
        step->task = SP_CROWN;
        step->tile = smelterTile;
        step->hands = "ironore";
        snprintf(step->action, sizeof(step->action), "smelt");
        return true;
      }
      if (Fetch(*sp, w, player, "ironore", SP_CROWN, now, step)) return true;
      // No ore lying about: mine some with a pickaxe.
      int deposit = -1;
      for (int t = 0; t < g.m_sz; ++t)
        if (sp->dist[t] >= 0 && (g.Attribs(t) & AT_IRONDEPOSIT) && !Blacklisted(*sp, SP_CROWN, t, now) &&
            (deposit < 0 || sp->dist[t] < sp->dist[deposit]))
          deposit = t;
      if (deposit >= 0) {
        if (Holds(w, player, "pickaxe")) {
          step->task = SP_CROWN;
          step->tile = deposit;
          step->hands = "pickaxe";
          snprintf(step->action, sizeof(step->action), "mine_ore");
          return true;
        }
        if (Fetch(*sp, w, player, "pickaxe", SP_CROWN, now, step)) return true;
      }
    }
  }

  // Gems: bring every one within reach to the gather tile.
  if (sp->gatherTile >= 0 && sp->dist[sp->gatherTile] >= 0) {
    const int held = Carried(w, player);
    if (held >= 0 && IsGem(items, held)) {
      step->task = SP_GEMS;
      step->tile = sp->gatherTile;
      step->hands = items.m_name[held].c_str();
      snprintf(step->action, sizeof(step->action), "drop_%s", items.m_name[held].c_str());
      return true;
    }
    int gem = -1;
    for (int i = 0; i < items.m_cnt; ++i) {
      if (items.m_name[i].Empty() || !IsGem(items, i) || items.m_carr[i] != -1) continue;
      const int t = items.m_loca[i];
      if (t == sp->gatherTile || !g.IsValid(t) || sp->dist[t] < 0 || Blacklisted(*sp, SP_GEMS, t, now)) continue;
      if (gem < 0 || sp->dist[t] < sp->dist[items.m_loca[gem]]) gem = i;
    }
    if (gem >= 0) {
      step->task = SP_GEMS;
      step->tile = items.m_loca[gem];
      step->hands = "";
      snprintf(step->action, sizeof(step->action), "pickup_%s", items.m_name[gem].c_str());
      return true;
    }
  }

  // Bridges, one at a time, toward the landmass worth most per water tile.
  // Before the sawmill only when it has nowhere to stand on this side of the water.
  const bool sawmillStuck =
      !sawmill && !AnyItemNamed(items, "sawmillsite") && FactorySite(*sp, w, sp->landingTile, SP_SAWMILL, now) < 0;
  if ((sawmill || sawmillStuck) && w.buildings.CountNamed("brconstruction") == 0) {
    const bool held = Holds(w, player, "bridgemarker");
    if (held || NearestItem(*sp, w, "bridgemarker", SP_BRIDGE, now) >= 0) {
      if (sp->bridgeCoast < 0 || sp->dist[sp->bridgeCoast] < 0 || Blacklisted(*sp, SP_BRIDGE, sp->bridgeCoast, now))
        sp->bridgeCoast = ChooseBridge(sp, w, now);
      if (sp->bridgeCoast >= 0) {
        if (!held && Fetch(*sp, w, player, "bridgemarker", SP_BRIDGE, now, step)) return true;
        step->task = SP_BRIDGE;
        step->tile = sp->bridgeCoast;
        step->hands = "bridgemarker";
        snprintf(step->action, sizeof(step->action), "stake_bridgemarker");
        return true;
      }
    }
  }

  // Roads: from the camp to a bridge's far end once it is reached, when stone is plentiful and
  // the way is short (every road tile wants three stone).
  if (sawmill && w.buildings.CountNamed("brconstruction") == 0 &&
      NearestItem(*sp, w, "roadmarker", SP_ROAD, now) >= 0 && !AnyItemNamed(items, "roadsite")) {
    int stone = 0;
    for (int i = 0; i < items.m_cnt; ++i)
      if (ItemNamed(items, i, "stone") && items.m_carr[i] == -1 &&
          !(g.Attribs(items.m_loca[i]) & (AT_STONECONSTRUCTION | AT_WOODCONSTRUCTION)))
        ++stone;
    while (sp->roadsDone < sp->bridgeEnds && sp->roadTo < 0) {
      const int end = sp->bridgeEnd[sp->roadsDone % SP_BRIDGEENDS];
      if (sp->dist[end] < 0) break;
      ++sp->roadsDone;
      const int a = RoadEnd(*sp, w, sp->landingTile), b = RoadEnd(*sp, w, end);
      if (a < 0 || b < 0 || a == b) continue;
      const float span = (g.TilePosition(a) - g.TilePosition(b)).Length() / (g.m_hexw > 0 ? g.m_hexw : 1.0f);
      if (span > c_roadSpan) continue;
      sp->roadFrom = a;
      sp->roadTo = b;
    }
    if (sp->roadTo >= 0 && stone >= 9) {
      if (Fetch(*sp, w, player, "roadmarker", SP_ROAD, now, step)) return true;
      step->task = SP_ROAD;
      step->tile = sp->roadFrom >= 0 ? sp->roadFrom : sp->roadTo;
      step->hands = "roadmarker";
      snprintf(step->action, sizeof(step->action), "stake_roadmarker");
      return true;
    }
  }
  if (sp->roadFrom < 0 && sp->roadTo >= 0 && AnyItemNamed(items, "roadsite")) {
    // The first end is staked: the second one pairs with it.
    if (Fetch(*sp, w, player, "roadmarker", SP_ROAD, now, step)) return true;
    step->task = SP_ROAD;
    step->tile = sp->roadTo;
    step->hands = "roadmarker";
    snprintf(step->action, sizeof(step->action), "stake_roadmarker");
    return true;
  }

  // Chests further away: gems, markers and tools on the other landmasses.
  if (farChest >= 0) {
    step->task = SP_SMASH;
    step->tile = items.m_loca[farChest];
    snprintf(step->action, sizeof(step->action), "smash_chest");
    return true;
  }

  // A builder wanted (a site has all its materials and no one was told to build), or a planter
  // where woods are few: greet a freed character without work, or one whose work others share, so
  // stone and lumber both keep coming.
  int count[NUMASSIGNMENTS];
  CountTold(*sp, a, -1, count);
  const bool builderWanted = count[3] == 0 && SiteReadyToBuild(w);
  const int spent = SpentWork(*sp, g);
  const bool planterWanted =
      !builderWanted && count[2] == 0 && (count[0] + count[1] >= 3 || spent) && PlanterWanted(*sp, w);
  if (sp->greetFor < 0 && now - sp->idleGreetAt > 30.0) {
    // Someone freed by another, not yet told anything: the nearest within reach gets work.
    int idle = -1;
    for (int n = 0; n < a.m_cnt && n < 32; ++n) {
      const int t = a.m_loca[n];
      if (a.m_stat[n] & (ST_PRISONER | ST_CHOSEN) || !(a.m_stat[n] & ST_ACTIVE) || Told(*sp, n) >= 0) continue;
      if (g.IsValid(t) && sp->dist[t] >= 0 && !Blacklisted(*sp, SP_GREET, t, now) &&
          (idle < 0 || sp->dist[t] < sp->dist[a.m_loca[idle]]))
        idle = n;
    }
    if (idle >= 0) {
      sp->idleGreetAt = now;
      sp->greetFor = idle;
      sp->greetSince = now;
      return false;
    }
  }
  // Lumber or stone nobody works at while there is some to work on.
  const bool workerWanted = (count[0] == 0 && !(spent & 1)) || (count[1] == 0 && !(spent & 2));
  if ((builderWanted || planterWanted || workerWanted) && now - sp->builderGreetAt > 120.0) {
    int pick = -1;
    for (int n = 0; n < a.m_cnt && n < 32; ++n) {
      if (a.m_stat[n] & (ST_PRISONER | ST_CHOSEN) || !(a.m_stat[n] & ST_ACTIVE)) continue;
      const int has = Told(*sp, n), t = a.m_loca[n];
      if (has >= 0 && count[has] < 2 && !(has < 2 && (spent & (1 << has)))) continue;
      if (g.IsValid(t) && sp->dist[t] >= 0 && (pick < 0 || sp->dist[t] < sp->dist[a.m_loca[pick]])) pick = n;
    }
    if (pick >= 0) {
      sp->builderGreetAt = now;
      sp->greetFor = pick;
      sp->greetSince = now;
    }
  }
  return false;
}

int ScriptedPlayer::Frame(const Wld& world, double now, char (*out)[256], int capacity) {
  const double dt = now - lastNow;
  lastNow = now;
  // Wall-clock time too: a headless run outpaces the services many times over, so simulated
  // seconds of waiting here are far fewer seconds in a game running at its own pace.
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  const double wallDt = lastWall > 0.0 ? wall - lastWall : 0.0;
  lastWall = wall;
  int written = 0;
  const Actors& a = world.actors;

  // The watchdog: capacities, and how long characters wait for the services.
  if (a.m_cnt < 0 || a.m_cnt > MAXACTORS || world.items.m_cnt < 0 || world.items.m_cnt > MAXITEMS ||
      world.buildings.m_cnt < 0 || world.buildings.m_cnt > MAXBUILDINGS || world.globe.m_numcontinents > MAXCONTINENTS)
    ++health.capacityFaults;
  for (int n = 0; n < a.m_cnt && n < MAXACTORS; ++n) {
    if (a.m_planSize[n] > c_planStepLimit || a.m_pasz[n] < 0 || a.m_pasz[n] > c_tilePathLimit) ++health.capacityFaults;
    const bool planPending = a.m_planRequested[n] && !a.m_planDone[n] && (a.m_stat[n] & ST_ACTIVE);
    const bool pathPending = a.m_pathRequested[n] && !a.m_pathDone[n].load() && (a.m_stat[n] & ST_ACTIVE);
    planWait[n] = planPending ? planWait[n] + dt : 0.0;
    pathWallWait[n] = pathPending ? pathWallWait[n] + wallDt : 0.0;
    if (pathWallWait[n] > health.longestPathWallWait) health.longestPathWallWait = pathWallWait[n];
    if (planWait[n] > health.longestPlanWait) health.longestPlanWaitNr = n;
    pathWait[n] = pathPending ? pathWait[n] + dt : 0.0;
    if (planWait[n] > health.longestPlanWait) health.longestPlanWait = planWait[n];
    if (pathWait[n] > health.longestPathWait) health.longestPathWait = pathWait[n];
  }

  if (a.m_planInFlight && a.IsValid(a.m_planInFlightNr)) {
    const int n = a.m_planInFlightNr;
    if (n == inFlightNr && a.m_planSerial[n] == inFlightSerial) {
      inFlightFor += dt;
      inFlightWall += wallDt;
    } else {
      inFlightNr = n;
      inFlightSerial = a.m_planSerial[n];
      inFlightFor = 0.0;
      inFlightWall = 0.0;
    }
    if (inFlightFor > health.longestPlanInFlight) health.longestPlanInFlight = inFlightFor;
    if (inFlightWall > health.longestPlanInFlightWall) health.longestPlanInFlightWall = inFlightWall;
  } else {
    inFlightNr = -1;
  }

  if (now >= nextReport) {
    Measure(world);
    if (report && now > 0.0) Report();
    nextReport = now + reportInterval;
  }
  if (now < nextDecision || capacity < 1) return 0;
  nextDecision = now + decisionInterval;
  Measure(world);

  const int p = a.FindPlayer();
  if (p < 0) return 0;
  const uint64_t st = a.m_stat[p];
  if (!(st & ST_LANDED) || (st & (ST_FALLING | ST_CLIMBING | ST_ASCENDING)) || !(st & ST_ACTIVE)) return 0;
  const int here = a.m_loca[p];
  if (landingTile < 0) {
    landingTile = here;
    gatherTile = here;
    const Globe& g = world.globe;
    int pine = 0, mapl = 0, appl = 0, rock = 0;
    if (g.m_nodes[here].continent < g.m_numcontinents)
      g.CountOnContinent(g.m_nodes[here].continent, &pine, &mapl, &appl, &rock);
    LOGI("Scripted player landed at tile %d on a landmass of %d tiles with %d trees and %d rocky tiles.", here,
         g.m_nodes[here].continent < g.m_numcontinents ? g.m_contsizes[g.m_nodes[here].continent] : 0,
         pine + mapl + appl, rock);
  }

  // Speaking: the partner gets its work.
  if (PlayerIsGreeting(a)) {
    const int partner = a.FindPartner(p);
    if (partner < 0) return 0;
    const int assignment = WantedAssignment(*this, world, partner);
    const int line = SpeechLine(world, assignment);
    MessagePlayerSpeak(out[written++], 256, line);
    if (line >= 0 && partner < 32) {
      told[partner] = assignment;
      LOGI("Scripted player tells %s to %s.", a.m_name[partner].c_str(), AssignmentName(assignment));
    } else {
      LOGI("Scripted player leaves %s at its work.", a.m_name[partner].c_str());
    }
    if (greetFor == partner || greetFor >= 0) greetFor = -1;
    return written;
  }
  // The tutorial's last lesson: hold the fast-forward key for a moment.
  if (world.tutor.m_stage == 11 && fastForwardSince < 0.0) {
    fastForwardSince = now;
    MessageSimSpeed(out[written++], 256, 1, 1);
    return written;
  }
  if (fastForwardSince >= 0.0 && !fastForwardReleased && now - fastForwardSince > 2.0) {
    fastForwardReleased = true;
    MessageSimSpeed(out[written++], 256, 0, 1);
    return written;
  }
  // Busy with a step or a walk: wait for it.
  const bool walking = (a.m_tgtl[p] != -1 && a.m_tgtl[p] != here) || a.m_pathStage[p] < a.m_pasz[p];
  if (a.IsExecutingPlan(p) || a.m_pathRequested[p] || walking) return 0;

  // A prisoner freed by the last step is greeted next.
  if (!strcmp(lastAction, "free") && lastActionTile == here) {
    for (int n = 0; n < a.m_cnt; ++n)
      if (n != p && a.m_loca[n] == here && !(a.m_stat[n] & ST_PRISONER) && Told(*this, n) < 0) {
        greetFor = n;
        greetSince = now;
      }
    lastAction[0] = 0;
  }

  Reach(this, world.globe, here);
  LookAround(this, world.globe, here);
  Step step;
  if (!Decide(this, world, p, now, &step)) {
    ++health.idleFrames;
    return 0;
  }
  ++taskCounts[step.task];
  if (step.task != task || step.tile != taskTile) {
    task = step.task;
    taskTile = step.tile;
    taskSince = now;
    taskClicks = 0;
    // A far target is given the time its walk takes on top.
    taskPatience = (task == SP_CROWN ? c_crownPatience : c_taskPatience) +
                   (world.globe.IsValid(taskTile) && dist[taskTile] > 0 ? c_secondsPerStep * dist[taskTile] : 0.0);
  } else if (now - taskSince > taskPatience) {
    Blacklist(this, task, taskTile, now, "no headway");
    if (task == SP_BRIDGE) bridgeCoast = -1;
    if (task == SP_GREET) greetFor = -1;
    task = SP_WAIT;
    taskTile = -1;
    return 0;
  }

  // Hands: put down what the step does not want.
  const int held = Carried(world, p);
  if (held >= 0 && step.hands && strcmp(step.hands, world.items.m_name[held].c_str())) {
    const char* name = world.items.m_name[held].c_str();
    char action[64];
    snprintf(action, sizeof(action), "%s_%s", strcmp(name, "fruit") ? "drop" : "eat", name);
    MessagePlayerAction(out[written++], 256, action);
    ++taskCounts[SP_DROP];
    return written;
  }

  if (here != step.tile) {
    // Walk, in legs when the way is long.
    int target = step.tile;
    if (dist[target] > c_legSteps) {
      while (target >= 0 && dist[target] > c_legSteps) target = parent[target];
    }
    if (target < 0) return 0;
    ++taskClicks;
    if (taskClicks > 12) {
      Blacklist(this, task, taskTile, now, "the walk does not get there");
      if (task == SP_BRIDGE) bridgeCoast = -1;
      return 0;
    }
    MessageLeftClick(out[written++], 256, 1, 0, target, -1, 0, 0, 0);
    if (written < capacity) MessageLeftClick(out[written++], 256, 0, 0, target, -1, 0, 0, 0);
    lastClickTile = target;
    return written;
  }
  if (!step.action[0]) return 0;

  // On the spot: the action is started only when the game offers it, as the buttons do.
  const char* names[16];
  const int count = AvailableActions(a, p, names, 16);
  if (!Offered(names, count, step.action)) {
    Blacklist(this, step.task, step.tile, now, "the action is not offered there");
    if (step.task == SP_BRIDGE) bridgeCoast = -1;
    if (step.task == SP_GREET) greetFor = -1;
    return 0;
  }
  MessagePlayerAction(out[written++], 256, step.action);
  snprintf(lastAction, sizeof(lastAction), "%s", step.action);
  lastActionTile = here;
  lastActionAt = now;
  if (step.task == SP_ROAD) {
    LOGI("Scripted player stakes a road end at tile %d.", here);
    if (roadFrom >= 0)
      roadFrom = -1;
    else
      roadTo = -1;
  }
  if (step.task == SP_BRIDGE && !strcmp(step.action, "stake_bridgemarker")) {
    if (bridgeLanding >= 0) bridgeEnd[bridgeEnds++ % SP_BRIDGEENDS] = bridgeLanding;
    ++progress.bridgesStaked;
    ++bridgesStakedCount;
    siteMissingSaid = false;  // new land comes within reach: say again if it holds no site either
    LOGI("Scripted player stakes a bridge of %d tiles at tile %d toward tile %d, on a landmass worth %d.", bridgeLength,
         here, bridgeLanding, bridgeValue);
    bridgeCoast = -1;
  }
  return written;
}

void ScriptedPlayer::Hear(const char* message) {
  if (strncmp(message, "gameend", 7)) return;
  ++progress.gameEnds;
  if (strstr(message, "win=1")) ++progress.gameEndWins;
}

void ScriptedPlayer::Measure(const Wld& w) {
  const Actors& a = w.actors;
  const Items& items = w.items;
  const Buildings& b = w.buildings;
  progress.age = w.m_age;
  const int stage = w.tutor.m_stage;
  if (stage >= 0 && stage < 32) progress.stagesSeen |= 1u << stage;
  if (stage >= 0 && stage < progress.tutorStage) ++progress.stageSetbacks;
  progress.tutorStage = stage;
  if (stage > progress.tutorHighest) progress.tutorHighest = stage;
  if (w.tutor.m_stage < 0 && progress.tutorHighest >= 11) progress.tutorHighest = 12;
  const int p = a.FindPlayer();
  progress.landed = p >= 0 && (a.m_stat[p] & ST_LANDED) && !(a.m_stat[p] & (ST_FALLING | ST_CLIMBING)) ? 1 : 0;
  progress.crowned = p >= 0 && (a.m_stat[p] & ST_CROWNED) ? 1 : 0;
  progress.ascending = p >= 0 && (a.m_stat[p] & ST_ASCENDING) ? 1 : 0;
  progress.freed = progress.assigned = 0;
  for (int n = 0; n < a.m_cnt; ++n) {
    if (n == p || (a.m_stat[n] & ST_PRISONER)) continue;
    ++progress.freed;
    if (a.m_assi[n] >= 0) ++progress.assigned;
  }
  progress.sawmills = CountFinishedNamed(b, "sawmill");
  progress.storages = CountFinishedNamed(b, "storage");
  progress.smelters = CountFinishedNamed(b, "smelter");
  progress.smithies = CountFinishedNamed(b, "smithy");
  progress.bridgePieces = CountFinishedNamed(b, "bridge");
  progress.stargates = CountFinishedNamed(b, "stargate");
  int chests = 0, gems = 0, most = 0;
  for (int i = 0; i < items.m_cnt; ++i) {
    if (ItemNamed(items, i, "chest")) ++chests;
    if (items.m_name[i].Empty() || !IsGem(items, i)) continue;
    ++gems;
    int together = 0;
    for (int j = 0; j < items.m_cnt; ++j)
      if (!items.m_name[j].Empty() && IsGem(items, j) && items.m_carr[j] == -1 && items.m_loca[j] == items.m_loca[i])
        ++together;
    if (together > most) most = together;
  }
  if (chestsAtStart < 0) chestsAtStart = chests;
  progress.chestsSmashed = chestsAtStart - chests;
  progress.gemsFound = gems;
  progress.gemsGathered = most;
}

void ScriptedPlayer::Report() const {
  const ScriptedProgress& r = progress;
  LOGI(
      "Scripted player at minute %d: tutorial stage %d (highest %d), freed %d, assigned %d, sawmills %d, storages %d, "
      "smelters %d, smithies %d, bridge pieces %d (%d staked), gems %d found, %d gathered, stargates %d, crowned %d, "
      "ascending %d, game ends %d; now %s.",
      static_cast<int>(r.age / 60.0 + 0.5), r.tutorStage, r.tutorHighest, r.freed, r.assigned, r.sawmills, r.storages,
      r.smelters, r.smithies, r.bridgePieces, r.bridgesStaked, r.gemsFound, r.gemsGathered, r.stargates, r.crowned,
      r.ascending, r.gameEnds, ScriptedTaskName(task));
}

static int DriverThunk(void* user, const Wld& world, double now, char (*out)[256], int capacity) {
  return static_cast<ScriptedPlayer*>(user)->Frame(world, now, out, capacity);
}

static void ListenerThunk(void* user, const char* message) { static_cast<ScriptedPlayer*>(user)->Hear(message); }

void ScriptedPlayerAttach(HeadlessOptions* options, ScriptedPlayer* player) {
  options->driver = DriverThunk;
  options->listener = ListenerThunk;
  options->user = player;
}

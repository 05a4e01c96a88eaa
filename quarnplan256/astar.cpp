// Plan search: A* over world states with fixed open and closed hash sets.
#include "quarnplan256/astar.h"

#include <cstdio>

#include "utility/log.h"

namespace {

// Probing reads only what it must, each in an array of its own so that the arrays a probe
// walks stay in the cache: two bitmaps (filled, removed) and the key's full hash per slot,
// which settles nearly every mismatch without reading the 32-byte key. What a hit needs
// (the node's g and its place in the pool) lies apart.
struct SlotNode {
  int g;     // the node's g, read on every revisit
  int node;  // where the node itself lives in the set's node pool
};

// The nodes themselves are big (152 bytes); they are packed into a pool in the order
// they are stored, reusing the places of removed ones, so that a search writes a few
// contiguous pages instead of one scattered line per node all over the table.
struct NodeSetData {
  uint32_t tags[c_nodeSetSlots];   // the full hash of the slot's key
  SlotNode slots[c_nodeSetSlots];  // g and pool place of the slot's node
  AtomBits keys[c_nodeSetSlots];   // copies of the nodes' keys, for probing
  SearchNode pool[c_nodeSetSlots];
  int freeNodes[c_nodeSetSlots];
  // One bit per slot, set once the slot is filled in this search (a removed slot stays
  // filled): 8 KB that stay in the cache, so most lookups of a new state end here
  // without touching the big arrays. Each 64-slot word is valid only in its epoch, so
  // emptying a set is one increment, not a pass over every slot. The removed bits of a
  // word are valid in the same epoch.
  uint64_t filledBits[c_nodeSetSlots / 64];
  uint64_t removedBits[c_nodeSetSlots / 64];
  uint32_t filledEpoch[c_nodeSetSlots / 64];
  int poolUsed;
  int freeCount;
  NodeSetStats stats;
};

NodeSetData nodeSets[2];
uint32_t setEpoch[2] = {1, 1};

// The open list: one entry per live open node, in insertion order except that a
// removal moves the last entry into the gap. The node to expand is the lowest f,
// the earliest in this list among equals. A binary heap over list positions, ordered
// by (f, position), finds that entry without scanning the list.
struct OpenEntry {
  int slot;
  int f;
};
OpenEntry openList[c_nodeSetSlots];
int openListCount = 0;
int openHeap[c_nodeSetSlots];       // open-list positions
int openHeapIndex[c_nodeSetSlots];  // per open-list position: its place in openHeap
int openHeapSize = 0;
int openPos[c_nodeSetSlots];  // per open-set slot: its open-list position

int numOpened = 0;
int numClosed = 0;

// Scratch for the transitions of one expansion; static like the sets.
WorldState transStates[c_maxTransitions];
const char* transNames[c_maxTransitions];
int transCosts[c_maxTransitions];
uint32_t transMix[c_maxTransitions];

inline bool KeyEqual(const AtomBits& a, const AtomBits& b) {
  return ((a.bits[0] ^ b.bits[0]) | (a.bits[1] ^ b.bits[1]) | (a.bits[2] ^ b.bits[2]) | (a.bits[3] ^ b.bits[3])) == 0;
}

bool SetValid(int set) {
  ASSERTM(set == OPENSET || set == CLOSEDSET, "set %d", set);
  return set == OPENSET || set == CLOSEDSET;
}

inline bool HeapLess(int pa, int pb) {
  return openList[pa].f < openList[pb].f || (openList[pa].f == openList[pb].f && pa < pb);
}

void HeapPlace(int hi, int pos) {
  openHeap[hi] = pos;
  openHeapIndex[pos] = hi;
}

void HeapSiftUp(int hi) {
  const int pos = openHeap[hi];
  while (hi > 0) {
    const int parent = (hi - 1) / 2;
    if (!HeapLess(pos, openHeap[parent])) break;
    HeapPlace(hi, openHeap[parent]);
    hi = parent;
  }
  HeapPlace(hi, pos);
}

void HeapSiftDown(int hi) {
  const int pos = openHeap[hi];
  for (;;) {
    int child = 2 * hi + 1;
    if (child >= openHeapSize) break;
    if (child + 1 < openHeapSize && HeapLess(openHeap[child + 1], openHeap[child])) ++child;
    if (!HeapLess(openHeap[child], pos)) break;
    HeapPlace(hi, openHeap[child]);
    hi = child;
  }
  HeapPlace(hi, pos);
}

void OpenListAppend(int slot, int f) {
  const int pos = openListCount++;
  openList[pos] = OpenEntry{slot, f};
  openPos[slot] = pos;
  HeapPlace(openHeapSize++, pos);
  HeapSiftUp(openHeapSize - 1);
}

void OpenListRemoveAt(int pos) {
  // Out of the heap first, while every list position still means what it did.
  const int hi = openHeapIndex[pos];
  --openHeapSize;
  if (hi != openHeapSize) {
    const int moved = openHeap[openHeapSize];
    HeapPlace(hi, moved);
    HeapSiftDown(hi);
    if (openHeapIndex[moved] == hi) HeapSiftUp(hi);
  }
  // Then the last entry fills the gap; its position only shrinks, so it can only rise.
  const int last = --openListCount;
  if (pos != last) {
    openList[pos] = openList[last];
    openPos[openList[pos].slot] = pos;
    const int lasthi = openHeapIndex[last];
    HeapPlace(lasthi, pos);
    HeapSiftUp(lasthi);
  }
}

inline bool SlotFilled(const NodeSetData& ns, uint32_t epoch, int s) {
  return ns.filledEpoch[s >> 6] == epoch && ((ns.filledBits[s >> 6] >> (s & 63)) & 1);
}

inline void SlotFill(NodeSetData& ns, uint32_t epoch, int s) {
  if (ns.filledEpoch[s >> 6] != epoch) {
    ns.filledEpoch[s >> 6] = epoch;
    ns.filledBits[s >> 6] = 0;
    ns.removedBits[s >> 6] = 0;
  }
  ns.filledBits[s >> 6] |= uint64_t(1) << (s & 63);
  ns.removedBits[s >> 6] &= ~(uint64_t(1) << (s & 63));
}

inline bool SlotRemoved(const NodeSetData& ns, int s) { return (ns.removedBits[s >> 6] >> (s & 63)) & 1; }

inline bool SlotLive(int set, int s) {
  const NodeSetData& ns = nodeSets[set];
  return SlotFilled(ns, setEpoch[set], s) && !SlotRemoved(ns, s);
}

// The multiply-xor mix of the eight 32-bit words of a key; its fold is the home slot.
inline uint32_t KeyMix(const AtomBits& key) {
  const uint64_t* b = key.bits;
  return (uint32_t(b[0]) * 431u) ^ (uint32_t(b[0] >> 32) * 23u) ^ (uint32_t(b[1]) * 17u) ^
         (uint32_t(b[1] >> 32) * 11u) ^ (uint32_t(b[2]) * 863u) ^ (uint32_t(b[2] >> 32) * 89u) ^
         (uint32_t(b[3]) * 311u) ^ (uint32_t(b[3] >> 32) * 71u);
}
inline int HomeSlot(uint32_t mix) { return int((mix ^ (mix >> 16)) & (c_nodeSetSlots - 1)); }

inline bool SlotHolds(int set, int s, const AtomBits& key, uint32_t mix) {
  return SlotLive(set, s) && nodeSets[set].tags[s] == mix && KeyEqual(nodeSets[set].keys[s], key);
}

// Where an insert of a key just looked up in vain would go: the first slot on its
// probe that holds no live node, and how many live ones lie before it.
struct Vacancy {
  int slot = -1;
  int stepped = 0;
};

int FindMixed(int set, const AtomBits& key, uint32_t mix, Vacancy* vacancy = nullptr) {
  NodeSetData& ns = nodeSets[set];
  const uint32_t epoch = setEpoch[set];
  ++ns.stats.reads;
  ++ns.stats.tries;
  int s = HomeSlot(mix);
  Vacancy first;
  for (int visited = 1;; ++visited) {
    if (!SlotFilled(ns, epoch, s)) {  // empty: the key is not here
      if (first.slot < 0) first = Vacancy{s, visited - 1};
      break;
    }
    if (SlotRemoved(ns, s)) {
      if (first.slot < 0) first = Vacancy{s, visited - 1};
    } else if (ns.tags[s] == mix && KeyEqual(ns.keys[s], key)) {
      return s;
    }
    if (visited == c_nodeSetSlots) break;
    ++ns.stats.tries;
    s = (s + 1) & (c_nodeSetSlots - 1);
  }
  if (vacancy) *vacancy = first;
  return -1;
}

// Stores the node unless its key is found first; a vacancy from a lookup of the same
// key in the unchanged set spares probing again.
int InsertMixed(int set, const SearchNode& node, uint32_t mix, const Vacancy& vacancy = Vacancy()) {
  NodeSetData& ns = nodeSets[set];
  const AtomBits& key = node.state.values;
  int s = vacancy.slot;
  if (s >= 0) {
    ns.stats.collisions += vacancy.stepped;
  } else {
    s = HomeSlot(mix);
    if (SlotHolds(set, s, key, mix)) return -1;
    int stepped = 0;
    while (SlotLive(set, s)) {
      ++ns.stats.collisions;
      s = (s + 1) & (c_nodeSetSlots - 1);
      if (SlotHolds(set, s, key, mix)) return -1;
      // The search keeps fewer live nodes than slots, so this only guards misuse.
      if (++stepped >= c_nodeSetSlots) {
        LOGE("Node set %d is full.", set);
        return -1;
      }
    }
  }
  // Live nodes never outnumber slots, so a place is always free here.
  const int place = ns.freeCount > 0 ? ns.freeNodes[--ns.freeCount] : ns.poolUsed++;
  ns.tags[s] = mix;
  ns.slots[s] = SlotNode{node.g, place};
  SlotFill(ns, setEpoch[set], s);
  ns.keys[s] = key;
  ns.pool[place] = node;
  if (set == OPENSET) OpenListAppend(s, node.f);
  ++ns.stats.count;
  ++ns.stats.insertions;
  return s;
}

// Marks a live slot removed and, for the open set, drops its open-list entry.
void RemoveAt(int set, int s) {
  NodeSetData& ns = nodeSets[set];
  ns.removedBits[s >> 6] |= uint64_t(1) << (s & 63);
  ns.freeNodes[ns.freeCount++] = ns.slots[s].node;
  if (set == OPENSET) OpenListRemoveAt(openPos[s]);
  --ns.stats.count;
}

int OpenSetBestF() { return openHeapSize > 0 ? openList[openHeap[0]].f : 0; }

int Heuristic(const WorldState& s, const WorldState& goal, const AtomBits& registered) {
  int differing = 0;
  for (int k = 0; k < 4; ++k) {
    const uint64_t d = (s.values.bits[k] ^ goal.values.bits[k]) & ~goal.ignore.bits[k] & registered.bits[k];
    if (d) differing += __builtin_popcountll(d);
  }
  return c_heuristicWeight * differing;
}

}  // namespace

int NodeSetHash(const AtomBits& key) { return HomeSlot(KeyMix(key)); }

void NodeSetInit(int set) {
  if (!SetValid(set)) return;
  NodeSetData& ns = nodeSets[set];
  // Filled words of earlier searches could only meet a new epoch after 2^31 searches.
  if (++setEpoch[set] >= 0x80000000u) {
    for (uint32_t& e : ns.filledEpoch) e = 0;
    setEpoch[set] = 1;
  }
  ns.stats = NodeSetStats{};
  ns.poolUsed = 0;
  ns.freeCount = 0;
  if (set == OPENSET) {
    openListCount = 0;
    openHeapSize = 0;
  }
}

int NodeSetInsert(int set, const SearchNode& node) {
  if (!SetValid(set)) return -1;
  return InsertMixed(set, node, KeyMix(node.state.values));
}

int NodeSetFind(int set, const AtomBits& key) {
  if (!SetValid(set)) return -1;
  return FindMixed(set, key, KeyMix(key));
}

const SearchNode* NodeSetAt(int set, int slot) {
  if (!SetValid(set) || slot < 0 || slot >= c_nodeSetSlots) return nullptr;
  return &nodeSets[set].pool[nodeSets[set].slots[slot].node];
}

int NodeSetRemove(int set, const AtomBits& key) {
  const int s = NodeSetFind(set, key);
  if (s < 0) return -1;
  RemoveAt(set, s);
  return s;
}

SearchNode* OpenSetPopBest(SearchNode* out) {
  if (!out || openListCount == 0) return nullptr;
  const int s = openList[openHeap[0]].slot;
  NodeSetData& ns = nodeSets[OPENSET];
  // Counted as the probe from the key's home slot that would have found it.
  ++ns.stats.reads;
  ns.stats.tries += ((s - HomeSlot(ns.tags[s])) & (c_nodeSetSlots - 1)) + 1;
  *out = ns.pool[ns.slots[s].node];
  RemoveAt(OPENSET, s);
  return out;
}

int NodeSetCount(int set) { return SetValid(set) ? nodeSets[set].stats.count : 0; }

NodeSetStats NodeSetCounters(int set) { return SetValid(set) ? nodeSets[set].stats : NodeSetStats{}; }

void NodeSetReport(int set) {
  if (!SetValid(set)) return;
  const NodeSetStats& st = nodeSets[set].stats;
  if (st.insertions == 0) return;
  printf("Set %s (sz %d). Num collisions=%d num clean insertions:%d coll-ratio: %lf tries:%d reads=%d\n",
         set == OPENSET ? "OPENSET" : "CLOSEDSET", st.count, st.collisions, st.insertions,
         double(st.collisions) / double(st.insertions), st.tries, st.reads);
}

void PlanSearchReset() {
  for (int set = 0; set < 2; ++set) {
    for (uint32_t& e : nodeSets[set].filledEpoch) e = 0;
    setEpoch[set] = 1;
    nodeSets[set].stats = NodeSetStats{};
    nodeSets[set].poolUsed = 0;
    nodeSets[set].freeCount = 0;
  }
  openListCount = 0;
  openHeapSize = 0;
  numOpened = 0;
  numClosed = 0;
}

bool PlanReconstruct(const ActionPlanner* ap, const SearchNode& goalnode, const char** plan, WorldState* states,
                     int* plansize) {
  (void)ap;
  if (!plan || !plansize) return false;
  int i = *plansize - 1;
  int count = 0;
  const SearchNode* node = &goalnode;
  while (node && node->action) {
    if (i >= 0) {
      ASSERT(i >= 0 && i < *plansize);
      plan[i] = node->action;
      if (states) states[i] = node->state;
    }
    // The parent is normally closed. If a cheaper path to it turned up after this
    // node was made, it was reopened and waits in the open set; follow it there
    // rather than cut the plan short of the start.
    int slot = NodeSetFind(CLOSEDSET, node->parentstate.values);
    if (slot >= 0) {
      node = NodeSetAt(CLOSEDSET, slot);
    } else {
      slot = NodeSetFind(OPENSET, node->parentstate.values);
      node = slot >= 0 ? NodeSetAt(OPENSET, slot) : nullptr;
    }
    --i;
    ++count;
    if (count > 2 * c_nodeSetSlots) {
      ASSERTT(false, "plan parents form a loop");
      *plansize = -1;
      return false;
    }
  }
  if (count > *plansize) {
    LOGE("Plan of size %d cannot be returned in buffer of size %d", count, *plansize);
    *plansize = -1;
    return false;
  }
  if (i + 1 >= 1 && count >= 1) {
    for (int idx = 0; idx < count; ++idx) {
      ASSERT(idx < *plansize);
      ASSERT(i + 1 + idx < *plansize);
      plan[idx] = plan[i + 1 + idx];
      if (states) states[idx] = states[i + 1 + idx];
    }
  }
  *plansize = count;
  return true;
}

int PlanSearch(const ActionPlanner* ap, const WorldState& start, const WorldState& goal, const char** plan,
               WorldState* states, int* plansize) {
  ASSERT(plan);
  if (!plan || !ap || !plansize) {
    LOGE("Plan search needs a planner, a plan buffer and its size.");
    return -1;
  }
  for (int a = 0; a < ap->numactions; ++a)
    if (ap->actioncosts[a] < 0) {
      LOGE("Action '%s' has negative cost %d; not searching.", ap->actionnames[a], ap->actioncosts[a]);
      *plansize = -1;
      return -1;
    }
  const int capacity = *plansize > 0 ? *plansize : 0;
  if (*plansize < 0) *plansize = 0;

  AtomBits registered = {};
  for (int i = 0; i < ap->numatoms && i < MAXATOMS; ++i) registered.bits[i / 64] |= uint64_t(1) << (i % 64);

  numOpened = 0;
  numClosed = 0;
  SearchNode cur;
  cur.state = start;
  cur.g = 0;
  cur.h = Heuristic(start, goal, registered);
  cur.f = cur.h;
  cur.action = nullptr;
  cur.parentstate = start;
  for (int i = 0; i < capacity; ++i) plan[i] = "noact";

  NodeSetInit(OPENSET);
  NodeSetInsert(OPENSET, cur);
  ++numOpened;
  NodeSetInit(CLOSEDSET);

  while (numOpened != 0) {
    if (!OpenSetPopBest(&cur)) break;
    --numOpened;
    if (StateMatches(cur.state, goal)) {
      if (!PlanReconstruct(ap, cur, plan, states, plansize)) {
        for (int i = 0; i < capacity; ++i) plan[i] = "noact";
        return -1;
      }
      LOGI("Found plan of size %d (cost %d) after examining %d states.", *plansize, cur.f, numClosed);
      NodeSetReport(OPENSET);
      NodeSetReport(CLOSEDSET);
      return cur.f;
    }
    NodeSetInsert(CLOSEDSET, cur);
    ++numClosed;
    if (numClosed == c_nodeSetLimit) {
      LOGI("Closed set overflow. numOpened:%d, numClosed: %d", numOpened, c_nodeSetLimit);
      if (NodeSetCount(OPENSET) > 0) LOGI("Searched up to cost %d", OpenSetBestF());
      NodeSetReport(OPENSET);
      NodeSetReport(CLOSEDSET);
      return -1;
    }
    const int n = PlannerTransitions(ap, cur.state, transStates, transNames, transCosts, c_maxTransitions);
    // The home slots of the new states lie anywhere in megabytes of table: ask for all of them
    // before the first is looked at, so that the cache misses overlap instead of queueing.
    for (int i = 0; i < n; ++i) {
      const uint32_t mix = KeyMix(transStates[i].values);  // both sets hash alike: mix once
      transMix[i] = mix;
      const int home = HomeSlot(mix);
      for (const NodeSetData& ns : nodeSets) {
        __builtin_prefetch(&ns.tags[home]);
        __builtin_prefetch(&ns.keys[home]);
        __builtin_prefetch(&ns.slots[home]);
      }
    }
    for (int i = 0; i < n; ++i) {
      const WorldState& t = transStates[i];
      const int c = cur.g + transCosts[i];
      const uint32_t mix = transMix[i];
      // A step that changes no value leads back to cur, closed just now at a cost no
      // higher: nothing to do. A state is never in both sets, so a closed hit spares
      // the open lookup. (The sets' read counters count only the lookups made.)
      if (KeyEqual(t.values, cur.state.values)) continue;
      int k = FindMixed(CLOSEDSET, t.values, mix);
      Vacancy vacancy;
      int o = k >= 0 ? -1 : FindMixed(OPENSET, t.values, mix, &vacancy);
      if (o >= 0 && c < nodeSets[OPENSET].slots[o].g) {
        RemoveAt(OPENSET, o);
        vacancy = Vacancy();
        --numOpened;
        o = -1;
      }
      if (k >= 0 && c < nodeSets[CLOSEDSET].slots[k].g) {
        RemoveAt(CLOSEDSET, k);
        --numClosed;
        k = -1;
      }
      if (o == -1 && k == -1) {
        SearchNode next;
        next.state = t;
        next.g = c;
        next.h = Heuristic(t, goal, registered);
        next.f = c + next.h;
        next.action = transNames[i];
        next.parentstate = cur.state;
        InsertMixed(OPENSET, next, mix, vacancy);
        ++numOpened;
      }
      if (numOpened == c_nodeSetLimit) {
        LOGI("Opened set overflow. numOpened:%d, numClosed:%d", c_nodeSetLimit, numClosed);
        return -1;
      }
    }
  }
  LOGI("Did not find a path.");
  *plansize = -1;
  return -1;
}

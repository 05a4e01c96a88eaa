// Running a world without a window: a new planet from the customisation parameters, driven frame by frame through
// SimFrame.
#include "world/driver/headless_run.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "system/file.h"
#include "utility/log.h"
#include "utility/message.h"
#include "world/actors/actors_pathing.h"
#include "world/actors/actors_planning.h"
#include "world/parts/stargate.h"
#include "world/parts/trees.h"
#include "world/planet/globe.h"
#include "world/planet/worldgen.h"
#include "world/save/save.h"
#include "world/sim/sim_frame.h"
#include "world/wld.h"

void HeadlessOptionsDefault(HeadlessOptions* options) {
  memset(static_cast<void*>(options), 0, sizeof(*options));
  CustomParamsReset();
  memcpy(options->params, customParamValues, sizeof(options->params));
  options->seconds = 60.0;
  options->stepsPerFrame = 4;
}

bool HeadlessEventAdd(HeadlessOptions* options, double at, const char* text) {
  if (!text || strlen(text) >= sizeof(options->event[0].text)) {
    LOGE("A headless message is too long.");
    return false;
  }
  if (options->events >= MAXHEADLESSEVENTS) {
    LOGE("No room for the headless message: %s", text);
    return false;
  }
  HeadlessEvent& e = options->event[options->events++];
  e.at = at;
  snprintf(e.text, sizeof(e.text), "%s", text);
  return true;
}

bool HeadlessClickTile(HeadlessOptions* options, double at, int tile) {
  char text[160];
  snprintf(text, sizeof(text), "leftclick down=1 moved=0 tile=%d actor=-1 modalt=0 modctl=0 modshf=0", tile);
  if (!HeadlessEventAdd(options, at, text)) return false;
  snprintf(text, sizeof(text), "leftclick down=0 moved=0 tile=%d actor=-1 modalt=0 modctl=0 modshf=0", tile);
  return HeadlessEventAdd(options, at, text);
}

static bool ClickCharacter(HeadlessOptions* options, double at, int character, int ctl, int shf) {
  char text[160];
  snprintf(text, sizeof(text), "leftclick down=1 moved=0 tile=-1 actor=%d modalt=0 modctl=%d modshf=%d", character, ctl,
           shf);
  return HeadlessEventAdd(options, at, text);
}

bool HeadlessSmite(HeadlessOptions* options, double at, int character) {
  return ClickCharacter(options, at, character, 0, 1);
}

bool HeadlessSteal(HeadlessOptions* options, double at, int character) {
  return ClickCharacter(options, at, character, 1, 0);
}

bool HeadlessSpeed(HeadlessOptions* options, double at, bool accelerated) {
  char text[64];
  snprintf(text, sizeof(text), "simspeed accelerated=%d musicff=1", accelerated ? 1 : 0);
  return HeadlessEventAdd(options, at, text);
}

// The generator's random numbers from a seed, spread by splitmix64 so that close seeds differ.
static void SeedWorldRng(uint64_t seed) {
  uint64_t words[2];
  for (uint64_t& w : words) {
    seed += 0x9e3779b97f4a7c15ull;
    uint64_t z = seed;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    w = z ^ (z >> 31);
  }
  if (!words[0] && !words[1]) words[0] = 1;  // xoroshiro must not start from all zeros
  worldRng.s0 = words[0];
  worldRng.s1 = words[1];
}

// Reads what the simulation posted this frame, as the visualisation would.
static void DrainSimMessages(const HeadlessOptions& options, HeadlessResult* result) {
  static Packet in;
  char message[1024];
  while (MailboxReceive(c_mailboxVis, &in)) {
    while (in.m_readPos < in.m_size) {
      in.Read(message, sizeof(message), 0);
      ++result->messagesPosted;
      if (!strncmp(message, "gameend", 7)) ++result->gameEnds;
      if (options.listener) options.listener(options.user, message);
      if (options.echoMessages) LOGI("sim: %s", message);
    }
  }
}

// Posts the events due by `now` that were not posted yet, in one packet as the visualisation
// sends them; returns the index of the first event still to come.
static int PostDueEvents(const HeadlessOptions& options, const int* order, int count, int next, double now,
                         char (*driven)[256], int drivenCount) {
  static Packet out;
  out.Empty();
  for (int i = 0; i < drivenCount; ++i) {
    out.Append(driven[i]);
    if (out.m_overflow) {
      LOGW("The driver's messages do not fit one packet; the rest of this frame's are dropped.");
      out.m_overflow = 0;
      break;
    }
  }
  while (next < count && options.event[order[next]].at <= now) {
    const HeadlessEvent& e = options.event[order[next]];
    out.Append(e.text);
    if (out.m_overflow) {
      // The rest goes with the next frame, like the visualisation's re-post.
      out.m_overflow = 0;
      break;
    }
    LOGI("vis: %s", e.text);
    ++next;
  }
  if (out.m_size > 0) MailboxPost(c_mailboxVis, out);
  return next;
}

int HeadlessRun(const HeadlessOptions& options, HeadlessResult* result) {
  HeadlessResult scratch;
  if (!result) result = &scratch;
  memset(static_cast<void*>(result), 0, sizeof(*result));
  result->playerTile = -1;
  result->generateResult = WG_BADWORLD;
  if (!(options.seconds >= 0.0 && options.seconds <= 1e7)) {
    LOGE("Cannot run for %f seconds.", options.seconds);
    return -1;
  }
  if (options.stepsPerFrame < 1 || options.stepsPerFrame > 72) {
    LOGE("Steps per frame must be 1 to 72, not %d.", options.stepsPerFrame);
    return -1;
  }
  for (int i = 0; i < NUMCUSTOMPARAMS; ++i) {
    int n = 0;
    while (customParamChoices[i][n][0]) ++n;
    if (options.params[i] < 0 || options.params[i] >= n) {
      LOGE("%s must be 0 to %d, not %d.", customParamNames[i], n - 1, options.params[i]);
      return -1;
    }
  }
  memcpy(customParamValues, options.params, sizeof(customParamValues));
  // Either way a run starts from a known state, so two runs of the same options agree, also in
  // one process: the generator's numbers, the standard ones (the characters' digestion draws from
  // those), the fruit's and the stargate's turn are process-wide and outlive a world.
  if (options.hasSeed)
    SeedWorldRng(options.seed);
  else
    WorldRngReset();
  srand(options.hasSeed ? static_cast<unsigned>(options.seed ^ (options.seed >> 32)) : 1u);
  FruitRngReset();
  StargateReset();

  // Resuming reads the save into a new world, as the game does; a missing or refused save
  // leaves the file alone and the run goes on with a new world.
  Wld* world = options.resume ? SaveGameLoad(SAVEFILENAME) : nullptr;
  // A save that is there but was refused stays as it is: this run's world must not replace it.
  const bool keepSave = options.resume && !world && FilePresent(SAVEFILENAME, true);
  if (world) {
    result->resumed = 1;
    result->tiles = world->globe.m_sz;
    result->generateResult = WG_OK;
  } else {
    if (options.resume) LOGW("No game to resume; a new world is made.");
    world = TerraformNewWorld("Headless");
    if (!world) return -1;
    result->tiles = world->globe.m_sz;
    result->generateResult = world->Generate(options.params[4]);
    if (result->generateResult != WG_OK) {
      LOGE("Cannot run: the world could not be generated (%s).", WorldGenResultText(result->generateResult));
      delete world;
      return -1;
    }
  }
  // Services that already run (a caller's) are used and left running; those started here are
  // stopped here.
  const bool ownPlanning = !PlanningServiceRunning() && PlanningServiceStart();
  const bool ownPathing = !PathingServiceRunning() && PathingServiceStart();
  if (!PlanningServiceRunning() || !PathingServiceRunning()) {
    LOGE("Cannot run: the planning and pathing services did not start.");
    if (ownPathing) PathingServiceStop();
    if (ownPlanning) PlanningServiceStop();
    delete world;
    return -1;
  }
  Wld* const previous = wld;
  wld = world;
  static Packet outbox;  // the simulation's outgoing packet, as main owns it
  outbox.Empty();
  WldOutboxSet(&outbox, world);
  MailboxReset();
  SimFrameReset();
  const double lockstepBefore = SimLockstep();
  SimLockstepSet(options.lockstep ? c_lockstepBound : 0.0);
  if (result->resumed) world->Post("intro ended=1");

  const int64_t totalSteps = static_cast<int64_t>(std::llround(options.seconds / c_simStep));
  // Events go out in time order; those given for the same time keep their order.
  int order[MAXHEADLESSEVENTS];
  const int events = options.events < 0 ? 0 : options.events > MAXHEADLESSEVENTS ? MAXHEADLESSEVENTS : options.events;
  for (int i = 0; i < events; ++i) {
    int k = i;
    while (k > 0 && options.event[order[k - 1]].at > options.event[i].at) {
      order[k] = order[k - 1];
      --k;
    }
    order[k] = i;
  }
  int nextEvent = 0;
  int64_t done = 0;
  bool stop = false;
  while (done < totalSteps && !stop) {
    static char driven[MAXDRIVERMESSAGES][256];
    int drivenCount = 0;
    const double now = static_cast<double>(done) * c_simStep;
    if (options.driver) {
      drivenCount = options.driver(options.user, *world, now, driven, MAXDRIVERMESSAGES);
      if (drivenCount < 0) stop = true;
      drivenCount = drivenCount < 0 ? 0 : drivenCount > MAXDRIVERMESSAGES ? MAXDRIVERMESSAGES : drivenCount;
      for (int i = 0; i < drivenCount; ++i) driven[i][255] = 0;
    }
    nextEvent = PostDueEvents(options, order, events, nextEvent, now, driven, drivenCount);
    int steps = options.stepsPerFrame;
    if (steps > totalSteps - done) steps = static_cast<int>(totalSteps - done);
    SimFrame(&outbox, steps, c_simStep, world);
    done += steps;
    ++result->frames;
    DrainSimMessages(options, result);
  }
  if (nextEvent < events) LOGW("%d messages were due after the end and were not sent.", events - nextEvent);
  result->steps = done;
  SimLockstepSet(lockstepBefore);

  // The workers may still hold requests of this world: take them back before it is saved.
  world->ReleaseServices();
  if (ownPathing) PathingServiceStop();
  if (ownPlanning) PlanningServiceStop();
  // Saved as the game saves at shut-down: after the services let go of the world.
  if (options.saveAtEnd && keepSave)
    LOGW("The world is not saved at the end: the refused save '%s' is left as it is.", SAVEFILENAME);
  else if (options.saveAtEnd)
    result->saved = SaveGameWrite(world, SAVEFILENAME) ? 1 : 0;

  result->age = world->m_age;
  result->characters = world->actors.m_cnt;
  for (int n = 0; n < world->actors.m_cnt; ++n)
    if (world->actors.m_stat[n] & ST_ACTIVE) ++result->active;
  const int player = world->actors.FindPlayer();
  result->playerTile = player >= 0 ? world->actors.m_loca[player] : -1;
  LOGI(
      "Headless run: %lld steps in %lld frames, age %.2f s, %d tiles, %d of %d characters active, %d messages "
      "posted, %d game ends, player at tile %d.",
      static_cast<long long>(result->steps), static_cast<long long>(result->frames), result->age, result->tiles,
      result->active, result->characters, result->messagesPosted, result->gameEnds, result->playerTile);
  wld = previous;
  delete world;
  MailboxReset();
  return 0;
}

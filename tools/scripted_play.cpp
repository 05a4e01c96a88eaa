// Development tool: the scripted player plays a generated world without a window and prints how far it got.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "system/file.h"
#include "utility/fixed_string.h"
#include "utility/log.h"
#include "world/driver/headless_run.h"
#include "world/driver/scripted_player.h"

static void Usage() {
  printf(
      "usage: scripted_play [options]\n"
      "  --size N --variant N  planet size (0 to 5) and random variant (default: the game's initial ones)\n"
      "  --seed N              start the world generator's random numbers from N\n"
      "  --minutes M           simulated minutes to play (default 10)\n"
      "  --steps-per-frame K   fixed steps of 1/240 s per frame, 1 to 72 (default 8)\n"
      "  --user DIR            user folder (default: a fresh temporary folder)\n"
      "  --lockstep            every step waits for the planning and pathing searches it handed over, so a run\n"
      "                        repeats exactly at any machine speed\n"
      "  --quiet               leave out the player's progress line of every simulated minute\n"
      "  --figures             end with \"name value unit\" lines of what was reached\n");
}

static bool s_quiet = false;

// The player, and when the game was won: the run ends with the frame after the win.
struct Play {
  ScriptedPlayer player;
  double winAge = -1.0;  // the world's age in the "gameend" message that said win=1, seconds
};

static int PlayDriver(void* user, const Wld& world, double now, char (*out)[256], int capacity) {
  Play* play = static_cast<Play*>(user);
  if (play->winAge >= 0.0) return -1;
  return play->player.Frame(world, now, out, capacity);
}

static void PlayListener(void* user, const char* message) {
  Play* play = static_cast<Play*>(user);
  play->player.Hear(message);
  const char* age = strstr(message, "age=");
  if (!strncmp(message, "gameend", 7) && strstr(message, "win=1") && age && play->winAge < 0.0)
    play->winAge = atof(age + 4);
}

int main(int argc, char** argv) {
  HeadlessOptions options;
  HeadlessOptionsDefault(&options);
  options.seconds = 600.0;
  options.stepsPerFrame = 8;
  const char* userDir = nullptr;
  bool figures = false;
  for (int i = 1; i < argc; ++i) {
    const char* flag = argv[i];
    if (!strcmp(flag, "--help") || !strcmp(flag, "-h")) {
      Usage();
      return 0;
    }
    if (!strcmp(flag, "--quiet")) {
      s_quiet = true;
      continue;
    }
    if (!strcmp(flag, "--lockstep")) {
      options.lockstep = 1;
      continue;
    }
    if (!strcmp(flag, "--figures")) {
      figures = true;
      continue;
    }
    if (i + 1 >= argc) {
      fprintf(stderr, "scripted_play: %s needs a value\n", flag);
      return 2;
    }
    const char* value = argv[++i];
    char* end = nullptr;
    const double v = strtod(value, &end);
    const bool number = *value && !*end;
    bool ok = number;
    if (!strcmp(flag, "--size"))
      options.params[0] = static_cast<int>(v), ok = ok && v >= 0 && v < 6;
    else if (!strcmp(flag, "--variant"))
      options.params[4] = static_cast<int>(v), ok = ok && v >= 0 && v < 100;
    else if (!strcmp(flag, "--seed"))
      options.hasSeed = 1, options.seed = static_cast<uint64_t>(v), ok = ok && v >= 0;
    else if (!strcmp(flag, "--minutes"))
      options.seconds = v * 60.0, ok = ok && v >= 0 && v <= 24 * 60;
    else if (!strcmp(flag, "--steps-per-frame"))
      options.stepsPerFrame = static_cast<int>(v), ok = ok && v >= 1 && v <= 72;
    else if (!strcmp(flag, "--user"))
      userDir = value, ok = true;
    else {
      fprintf(stderr, "scripted_play: unknown option %s\n", flag);
      Usage();
      return 2;
    }
    if (!ok) {
      fprintf(stderr, "scripted_play: bad value '%s' for %s\n", value, flag);
      return 2;
    }
  }

  std::string user;
  bool temporary = false;
  std::error_code ec;
  if (userDir) {
    user = userDir;
  } else {
    user = (std::filesystem::temp_directory_path(ec) / ("quillomar-play-" + std::to_string(getpid()))).string();
    temporary = true;
  }
  std::filesystem::create_directories(user, ec);
  FixedString data;
  if (ec || !DataFolderResolve(&data) || !FoldersSet(user.c_str(), data.c_str())) {
    fprintf(stderr, "scripted_play: cannot use the folders '%s' and '%s'\n", user.c_str(), data.c_str());
    return 1;
  }
  Play play;
  ScriptedPlayer& player = play.player;
  player.report = !s_quiet;
  options.driver = PlayDriver;
  options.listener = PlayListener;
  options.user = &play;
  HeadlessResult result;
  const int rc = HeadlessRun(options, &result);
  if (temporary) std::filesystem::remove_all(user, ec);
  const ScriptedProgress& r = player.progress;
  printf(
      "Played size %d variant %d for %.1f minutes on %d tiles: tutorial %d, freed %d, assigned %d, sawmill %d, storage "
      "%d, smelter %d, smithy %d, bridge pieces %d, bridges staked %d, chests smashed %d, gems %d found and %d "
      "gathered, stargate %d, crowned %d, ascending %d, wins %d; longest plan wait %.1f s (character %d), in flight "
      "%.1f s (%.3f s wall), path wait %.1f s (%.3f s wall); won at minute %.1f.\n",
      options.params[0], options.params[4], result.age / 60.0, result.tiles, r.tutorHighest, r.freed, r.assigned,
      r.sawmills, r.storages, r.smelters, r.smithies, r.bridgePieces, r.bridgesStaked, r.chestsSmashed, r.gemsFound,
      r.gemsGathered, r.stargates, r.crowned, r.ascending, r.gameEndWins, player.health.longestPlanWait,
      player.health.longestPlanWaitNr, player.health.longestPlanInFlight, player.health.longestPlanInFlightWall,
      player.health.longestPathWait, player.health.longestPathWallWait, play.winAge >= 0.0 ? play.winAge / 60.0 : -1.0);
  if (figures) {
    const char* tag = "scripted_play";
    const int s = options.params[0], va = options.params[4];
    printf("%s_s%dv%d_freed %d characters\n", tag, s, va, r.freed);
    printf("%s_s%dv%d_factories %d buildings\n", tag, s, va, r.sawmills + r.storages + r.smelters + r.smithies);
    printf("%s_s%dv%d_bridge_pieces %d tiles\n", tag, s, va, r.bridgePieces);
    printf("%s_s%dv%d_gems_gathered %d gems\n", tag, s, va, r.gemsGathered);
    printf("%s_s%dv%d_crowned %d flag\n", tag, s, va, r.crowned);
    printf("%s_s%dv%d_wins %d games\n", tag, s, va, r.gameEndWins);
    // -1 when the game was not won in the time played.
    printf("%s_s%dv%d_win_minute %.1f min\n", tag, s, va, play.winAge >= 0.0 ? play.winAge / 60.0 : -1.0);
  }
  return rc == 0 ? 0 : 1;
}

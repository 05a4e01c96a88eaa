// Development tool: makes a world from the customisation parameters and runs it without a window, printing the log.
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

static void Usage() {
  printf(
      "usage: headless [options]\n"
      "  --size N --land N --trees N --rocks N --variant N --landhue N --seahue N\n"
      "                        the seven customisation parameters (default: the game's initial ones)\n"
      "  --seed N              start the world generator's random numbers from N\n"
      "  --minutes M           simulated minutes to run (default 1); --seconds S likewise\n"
      "  --steps-per-frame K   fixed steps of 1/240 s per frame, 1 to 72 (default 4)\n"
      "  --click TILE[@S]      a plain click on a tile at S seconds (default 0): the player walks there\n"
      "  --smite NR[@S]        a shift-click on character NR\n"
      "  --steal NR[@S]        a control-click on character NR\n"
      "  --fast S  --slow S    the fast-forward key pressed or released at S seconds\n"
      "  --message TEXT[@S]    any visualisation message\n"
      "  --user DIR            user folder for the planet files (default: a fresh temporary folder)\n"
      "  --quiet               do not print the simulation's messages\n"
      "  --lockstep            every step waits for the planning and pathing searches it handed over, so a run\n"
      "                        repeats exactly at any machine speed\n"
      "  --resume              continue the game saved in autosave.dat of the user folder\n"
      "  --save-at-end         save the game to autosave.dat of the user folder when the run ends\n");
}

static bool ParseInt(const char* text, long long* out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  const long long v = strtoll(text, &end, 10);
  if (*end) return false;
  *out = v;
  return true;
}

// "VALUE" or "VALUE@SECONDS".
static bool ParseTimed(const char* text, std::string* value, double* at) {
  const char* sep = strrchr(text, '@');
  *at = 0.0;
  if (!sep) {
    *value = text;
    return true;
  }
  char* end = nullptr;
  *at = strtod(sep + 1, &end);
  if (sep[1] == 0 || *end || *at < 0.0) return false;
  value->assign(text, sep - text);
  return true;
}

int main(int argc, char** argv) {
  HeadlessOptions options;
  HeadlessOptionsDefault(&options);
  options.echoMessages = 1;
  const char* userDir = nullptr;
  static const char* const c_paramFlags[NUMCUSTOMPARAMS] = {"--size",    "--land",    "--trees", "--rocks",
                                                            "--variant", "--landhue", "--seahue"};
  for (int i = 1; i < argc; ++i) {
    const char* flag = argv[i];
    if (!strcmp(flag, "--help") || !strcmp(flag, "-h")) {
      Usage();
      return 0;
    }
    if (!strcmp(flag, "--quiet")) {
      options.echoMessages = 0;
      continue;
    }
    if (!strcmp(flag, "--lockstep")) {
      options.lockstep = 1;
      continue;
    }
    if (!strcmp(flag, "--resume")) {
      options.resume = 1;
      continue;
    }
    if (!strcmp(flag, "--save-at-end")) {
      options.saveAtEnd = 1;
      continue;
    }
    if (i + 1 >= argc) {
      fprintf(stderr, "headless: %s needs a value\n", flag);
      Usage();
      return 2;
    }
    const char* value = argv[++i];
    long long n = 0;
    bool ok = true;
    int param = -1;
    for (int k = 0; k < NUMCUSTOMPARAMS; ++k)
      if (!strcmp(flag, c_paramFlags[k])) param = k;
    if (param >= 0) {
      ok = ParseInt(value, &n) && n >= 0 && n < 100;
      if (ok) options.params[param] = static_cast<int>(n);
    } else if (!strcmp(flag, "--seed")) {
      ok = ParseInt(value, &n);
      options.hasSeed = 1;
      options.seed = static_cast<uint64_t>(n);
    } else if (!strcmp(flag, "--minutes") || !strcmp(flag, "--seconds")) {
      char* end = nullptr;
      const double v = strtod(value, &end);
      ok = *value && !*end && v >= 0.0 && v <= 24.0 * 3600.0;
      options.seconds = !strcmp(flag, "--minutes") ? v * 60.0 : v;
    } else if (!strcmp(flag, "--steps-per-frame")) {
      ok = ParseInt(value, &n) && n >= 1 && n <= 72;
      options.stepsPerFrame = static_cast<int>(n);
    } else if (!strcmp(flag, "--user")) {
      userDir = value;
    } else if (!strcmp(flag, "--fast") || !strcmp(flag, "--slow")) {
      char* end = nullptr;
      const double at = strtod(value, &end);
      ok = *value && !*end && at >= 0.0 && HeadlessSpeed(&options, at, !strcmp(flag, "--fast"));
    } else {
      std::string what;
      double at = 0.0;
      ok = ParseTimed(value, &what, &at);
      if (ok && !strcmp(flag, "--message")) {
        ok = HeadlessEventAdd(&options, at, what.c_str());
      } else if (ok && (!strcmp(flag, "--click") || !strcmp(flag, "--smite") || !strcmp(flag, "--steal"))) {
        ok = ParseInt(what.c_str(), &n) && n >= -1 && n < (1 << 24);
        if (ok && !strcmp(flag, "--click")) ok = HeadlessClickTile(&options, at, static_cast<int>(n));
        if (ok && !strcmp(flag, "--smite")) ok = HeadlessSmite(&options, at, static_cast<int>(n));
        if (ok && !strcmp(flag, "--steal")) ok = HeadlessSteal(&options, at, static_cast<int>(n));
      } else {
        fprintf(stderr, "headless: unknown option %s\n", flag);
        Usage();
        return 2;
      }
    }
    if (!ok) {
      fprintf(stderr, "headless: bad value '%s' for %s\n", value, flag);
      return 2;
    }
  }

  // The planet files go to a folder of their own, so a run never replaces the planet of a game
  // the player has in progress.
  // A save in a temporary folder would be gone when the run ends, and the player's own folder
  // is never used: resuming and saving need a folder named with --user.
  if ((options.resume || options.saveAtEnd) && !userDir) {
    fprintf(stderr, "headless: --resume and --save-at-end need --user DIR\n");
    return 2;
  }
  std::string user;
  bool temporary = false;
  if (userDir) {
    user = userDir;
  } else {
    std::error_code ec;
    user = (std::filesystem::temp_directory_path(ec) / ("quillomar-headless-" + std::to_string(getpid()))).string();
    temporary = true;
  }
  std::error_code ec;
  std::filesystem::create_directories(user, ec);
  FixedString data;
  if (ec || !DataFolderResolve(&data) || !FoldersSet(user.c_str(), data.c_str())) {
    fprintf(stderr, "headless: cannot use the folders '%s' and '%s'\n", user.c_str(), data.c_str());
    return 1;
  }
  LOGI("Headless run on data folder '%s', user folder '%s'.", data.c_str(), user.c_str());
  HeadlessResult result;
  const int rc = HeadlessRun(options, &result);
  if (temporary) std::filesystem::remove_all(user, ec);
  return rc == 0 ? 0 : 1;
}

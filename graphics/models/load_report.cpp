// The data-folder files that did not load at start-up, gathered so the player is told once, not file by file.
#include "graphics/models/load_report.h"

#include <cstdio>
#include <cstring>

#include "system/file.h"

namespace {
// Room for a dialog's worth of lines; the rest are only counted.
char text[1536];
int length = 0;
int count = 0;
int dropped = 0;
char shown[sizeof(text) + 64];
}  // namespace

void LoadReportNote(const char* path) {
  if (!path) return;
  ++count;
  const char* what = FileExists(path, false) ? "damaged" : "missing";
  const int room = static_cast<int>(sizeof(text)) - length;
  const int n = snprintf(text + length, static_cast<size_t>(room), "%s (%s)\n", path, what);
  if (n < 0 || n >= room) {
    text[length] = 0;
    ++dropped;
    return;
  }
  length += n;
}

int LoadReportCount() { return count; }

const char* LoadReportText() {
  if (dropped > 0)
    snprintf(shown, sizeof(shown), "%sand %d more", text, dropped);
  else
    snprintf(shown, sizeof(shown), "%s", text);
  return shown;
}

void LoadReportClear() {
  text[0] = 0;
  length = count = dropped = 0;
}

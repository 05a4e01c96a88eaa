// The data-folder files that did not load at start-up, gathered so the player is told once, not file by file.
#pragma once

// Notes that a file of the data folder could not be used: "missing" when it is not there (or not
// a file), else "damaged". The loaders have logged their own reason already. Main thread only.
void LoadReportNote(const char* path);
// How many files were noted since the last clear.
int LoadReportCount();
// The noted files, one "path (missing)" or "path (damaged)" a line; the list is cut, with a last
// line saying how many more, when it would not fit a dialog.
const char* LoadReportText();
void LoadReportClear();

#pragma once

// True when the command line is not the window's (nothing, or one picture
// file): options, --help and --version, or more than one file. The export
// then runs or refuses.
bool exportRequested(int argc, char *argv[]);

// Runs the export in a QCoreApplication, no display needed. Returns the exit
// status: 0 written, 1 failed (no file left, an existing one untouched),
// 2 bad arguments.
int runExport(int argc, char *argv[]);

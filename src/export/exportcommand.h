#pragma once

// True when the command line asks for `quirlbau --render` (or its --help or
// --version) rather than the window.
bool exportRequested(int argc, char *argv[]);

// Runs the export in a QCoreApplication, no display needed. Returns the exit
// status: 0 written, 1 failed (no file left, an existing one untouched),
// 2 bad arguments.
int runExport(int argc, char *argv[]);

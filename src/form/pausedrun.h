#pragma once

class QLabel;
class QPushButton;
struct FormState;

// Ends a paused run, so that the next Start begins afresh: btStop reads
// "Berechnung anhalten" on light green (the face btC leaves), lblI "1", the
// resume column 1, no stop or resume request pending, the phase idle.
void endPausedRun(FormState &state, QPushButton *btStop, QLabel *lblI);

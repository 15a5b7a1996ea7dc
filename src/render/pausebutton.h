#pragma once

#include "core/colorref.h"

#include <QObject>
#include <QString>

class QPushButton;
class RenderRun;
struct FormState;

// btStop's caption is the state by which the button and the run agree on
// whether a click pauses or continues.
inline const QString PauseCaption = QStringLiteral("Berechnung anhalten");
inline const QString ContinueCaption = QStringLiteral("Berechnung fortsetzen");
inline constexpr ColorRef RunningColor = 0x008080FF; // light red
inline constexpr ColorRef PausedColor = 0x0080FF80;  // light green

// The click of btStop. Its caption says what a click does:
//   "Berechnung anhalten"   light red face, stopRequested set; the run
//                           pauses after the point in progress (idle: the
//                           next fresh start clears the request)
//   "Berechnung fortsetzen" light green face, resumeRequested set, then the
//                           render run in continue mode; returns when it ends
// Any other caption: nothing.
class PauseButton : public QObject
{
    Q_OBJECT

public:
    PauseButton(QPushButton *btStop, FormState &state, RenderRun &run, QObject *parent = nullptr);

    void click();

private:
    QPushButton *m_button;
    FormState &m_state;
    RenderRun &m_run;
};

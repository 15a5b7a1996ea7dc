#include "pictures/picturerestorer.h"

#include "form/backcolor.h"
#include "form/drawingsurface.h"
#include "form/formstate.h"
#include "form/pausecaptions.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

PictureRestorer::PictureRestorer(const Controls &controls, FormState &state,
                                 DrawingSurface &surface, QObject *parent)
    : QObject(parent), m_controls(controls), m_state(state), m_surface(surface)
{
}

void PictureRestorer::restore(const Drawing &record, const QImage &picture)
{
    restoreControls(record);
    m_surface.setPicture(picture);
}

void PictureRestorer::restoreWithoutPicture(const Drawing &record)
{
    restoreControls(record);
    m_surface.clear();
}

void PictureRestorer::restoreControls(const Drawing &record)
{
    endPausedRun();
    for (size_t n = 0; n < m_controls.fields.size(); ++n)
        m_controls.fields[n]->setText(record.fieldTexts[n]);
    for (size_t n = 0; n < m_controls.swatches.size(); ++n)
        setBackColor(m_controls.swatches[n], record.palette[n]);
}

// btStop back on its running face: the picture shown is not the paused
// run's, so a click on it must not continue that run.
void PictureRestorer::endPausedRun()
{
    if (m_controls.btStop->text() != ContinueCaption)
        return;
    m_controls.btStop->setText(PauseCaption);
    setBackColor(m_controls.btStop, RunningColor);
    m_controls.lblI->setText(QStringLiteral("1"));
    m_state.stopRequested = false;
    m_state.resumeRequested = false;
}

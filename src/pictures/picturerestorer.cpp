#include "pictures/picturerestorer.h"

#include "core/grid.h"
#include "core/numbertext.h"
#include "form/backcolor.h"
#include "form/drawingsurface.h"
#include "form/formstate.h"
#include "form/pausedrun.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

PictureRestorer::PictureRestorer(const Controls &controls, FormState &state,
                                 DrawingSurface &surface, QObject *parent)
    : QObject(parent), m_controls(controls), m_state(state), m_surface(surface)
{
}

void PictureRestorer::restore(const Drawing &record, const std::optional<PictureCounts> &counts,
                              const QImage &picture)
{
    restoreControls(record, counts);
    m_surface.setPicture(picture);
}

void PictureRestorer::restoreWithoutPicture(const Drawing &record)
{
    restoreControls(record, std::nullopt);
    m_surface.clear();
}

void PictureRestorer::restoreControls(const Drawing &record,
                                      const std::optional<PictureCounts> &counts)
{
    // The picture shown is not the paused run's, so a click on btStop must
    // not continue that run.
    if (m_state.runPhase == RunPhase::Paused)
        endPausedRun(m_state, m_controls.btStop, m_controls.lblI);
    for (size_t n = 0; n < m_controls.fields.size(); ++n)
        m_controls.fields[n]->setText(record.fieldTexts[n]);
    for (size_t n = 0; n < m_controls.swatches.size(); ++n)
        setBackColor(m_controls.swatches[n], record.palette[n]);
    showCounts(counts);
}

void PictureRestorer::showCounts(const std::optional<PictureCounts> &counts)
{
    const Controls &c = m_controls;
    const QString separator = QLocale().groupSeparator();
    c.lblPixel->setText(counts ? NumberText::grouped(counts->pixels, separator) : QString());
    c.lblCounts->setText(counts ? NumberText::grouped(counts->iterations, separator) : QString());
    const int column = counts ? lastWholeColumn(counts->pixels) : 0;
    c.lblBar->resize(barWidthPixels(column), c.lblBar->height());
}

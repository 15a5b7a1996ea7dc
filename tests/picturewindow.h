#pragma once

#include "form/backcolor.h"
#include "picturebytes.h"
#include "runsteps.h"
#include "windowfixture.h"

#include <QLabel>
#include <QPainter>
#include <QTemporaryDir>

#include <optional>

// The window tests of pictures: the common window fixture, events every
// millisecond so that keys queued into a run land mid-run, and a fresh
// folder for the files each test function writes.
class PictureWindowTest : public WindowTest
{
    Q_OBJECT

public:
    PictureWindowTest() : WindowTest(QLocale::c(), Events::EveryMillisecond) {}

private slots:
    void init()
    {
        WindowTest::init();
        m_dir.emplace();
        QVERIFY(m_dir->isValid());
    }

    void cleanup()
    {
        WindowTest::cleanup();
        m_dir.reset();
    }

protected:
    void runComplete() { clickOn(m_window->controls().cbStart); }
    void press(int key, Qt::KeyboardModifiers modifiers)
    {
        QTest::keyClick(m_window, Qt::Key(key), modifiers);
    }
    QString pathOf(const QString &name) const { return m_dir->filePath(name); }

    // Ctrl+S with the dialog answering `name` in the test's folder.
    QString saveNow(const QString &name)
    {
        m_platform->fileAnswer = pathOf(name);
        press(Qt::Key_S, Qt::ControlModifier);
        return pathOf(name);
    }

    QStringList fieldTexts() const
    {
        const Controls &c = m_window->controls();
        return {c.txtX0->text(), c.txtX1->text(), c.txtY0->text(), c.txtY1->text(),
                c.txtMaxIter->text()};
    }

    // "Bildpunkte", "Berechnungen" and the bar's width.
    QStringList counters() const
    {
        const Controls &c = m_window->controls();
        return {c.lblPixel->text(), c.lblCounts->text(), QString::number(c.lblBar->width())};
    }

    std::optional<QTemporaryDir> m_dir;
};

// The picture as the screen shows it: undrawn pixels in the window's colour.
inline QImage onBackground(const QImage &picture)
{
    QImage shown(picture.size(), QImage::Format_RGB32);
    shown.fill(toQColor(WindowBackColor));
    QPainter(&shown).drawImage(0, 0, picture);
    return shown;
}

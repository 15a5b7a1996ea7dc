#pragma once

#include "app/application.h"
#include "app/mainwindow.h"
#include "core/numbertext.h"
#include "fakeplatform.h"
#include "render/renderrun.h"

#include <QApplication>
#include <QLocale>
#include <QObject>
#include <QTest>

// What every window test does around each test function: a new window on a
// fake platform, shown and exposed, in the test's locale; afterwards the
// window gone and no other window left open. A test that needs more
// declares its own init()/cleanup() and calls these first.
class WindowTest : public QObject
{
    Q_OBJECT

public:
    // The fast kernel draws the start section in a few milliseconds, often
    // before the run's first event pass is due: tests that act inside a run
    // let events run every millisecond, so their queued clicks still land
    // mid-run.
    enum class Events { AtTheirInterval, EveryMillisecond };

    // The locale holds from here on: before each test function and again
    // after it, since a test may change it.
    explicit WindowTest(const QLocale &locale = QLocale::c(),
                        Events events = Events::AtTheirInterval)
        : m_locale(locale), m_events(events)
    {
        QLocale::setDefault(m_locale);
    }

protected slots:
    void init()
    {
        QLocale::setDefault(m_locale);
        m_platform = new FakePlatform;
        m_window = new MainWindow(*m_platform);
        if (m_events == Events::EveryMillisecond)
            m_window->findChild<RenderRun *>()->setEventInterval(1);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanup()
    {
        delete m_window;
        m_window = nullptr;
        delete m_platform;
        m_platform = nullptr;
        QLocale::setDefault(m_locale);
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

protected:
    FakePlatform *m_platform = nullptr;
    MainWindow *m_window = nullptr;

private:
    QLocale m_locale;
    Events m_events;
};

// A count as the window's captions show it in the current locale.
inline QString grouped(std::int64_t value)
{
    return NumberText::grouped(value, QLocale().groupSeparator());
}

// The main() of a window test: the application set up as the program sets
// it up, then the test object's functions.
template<class Test>
int windowTestMain(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

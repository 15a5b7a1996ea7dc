// Back and Forward through the history of pictures on the real window: from
// the key press to the repainted picture, against a complete run of the
// start section in the same process. Offscreen unless DISPLAY names an X
// server; the figures that matter come from one:
//
//   xvfb-run -a -s "-screen 0 1024x768x24" env -u QT_QPA_PLATFORM build/default/bench/bench_pictures
//
// Both are wall time: the key is handled and the surface repainted before
// QTest::keyClick returns, as the run has drawn its last point before the
// click on Start returns.

#include "app/application.h"
#include "app/mainwindow.h"
#include "app/qtplatform.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <benchmark/benchmark.h>

namespace {

struct Program
{
    QtPlatform platform;
    MainWindow window{platform};
};

Program *program = nullptr;
bool atSecondEntry = true; // across the benchmark's repeated calls

void clickStart()
{
    QPushButton *start = program->window.controls().cbStart;
    QTest::mouseClick(start, Qt::LeftButton, {}, start->rect().center());
}

// Alternately Back and Forward between the two entries the set-up made.
void BM_BackOrForward(benchmark::State &state)
{
    QLineEdit *y0 = program->window.controls().txtY0;
    for (auto _ : state) {
        const QString before = y0->text();
        QTest::keyClick(&program->window, atSecondEntry ? Qt::Key_Left : Qt::Key_Right,
                        Qt::AltModifier);
        if (y0->text() == before) {
            state.SkipWithError("the key did not change the picture");
            break;
        }
        atSecondEntry = !atSecondEntry;
    }
}

void BM_CompleteRun(benchmark::State &state)
{
    for (auto _ : state)
        clickStart();
}

BENCHMARK(BM_BackOrForward)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_CompleteRun)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);
    Program started;
    program = &started;
    started.window.show();
    // Window shortcuts need the active window; without a window manager
    // nobody else makes it so.
    started.window.activateWindow();
    if (!QTest::qWaitForWindowActive(&started.window))
        return 1;
    // Two entries: example 5, then the start section; the window stays at
    // the start section for the run to draw.
    QTest::mouseClick(started.window.controls().cbF[5], Qt::LeftButton);
    clickStart();
    started.window.controls().txtX0->setText(QStringLiteral("-1,4025"));
    started.window.controls().txtX1->setText(QStringLiteral("-1,4020"));
    started.window.controls().txtY0->setText(QStringLiteral("0,0000"));
    started.window.controls().txtY1->setText(QStringLiteral("0,0005"));
    clickStart();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

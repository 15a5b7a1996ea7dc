#include "app/mainwindow.h"

#include "app/clickablelabel.h"
#include "app/icon.h"
#include "palette/paletteeditor.h"
#include "palette/standardcolors.h"
#include "section/clearcommands.h"
#include "section/doubleclickzoom.h"
#include "section/examplepresets.h"
#include "render/pausebutton.h"
#include "render/renderrun.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

namespace {

constexpr ColorRef WindowBackground = 0x00FF80FF;
constexpr QSize ClientArea(10230 / 15, 6135 / 15);
const char *const ApplicationTitle = "Quirlbau";

} // namespace

MainWindow::MainWindow(Platform &platform, QWidget *parent)
    : QWidget(parent), m_platform(platform)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(DesignCaption);
    setWindowIcon(QPixmap::fromImage(mandelbrotIcon()));
    QPalette background = palette();
    background.setColor(QPalette::Window, toQColor(WindowBackground));
    setPalette(background);
    setAutoFillBackground(true);
    resize(ClientArea);

    m_controls = buildWindowDesign(this);
    m_controls.txtX0->setFocus();
    auto *renderRun = new RenderRun(*this, this);
    connect(m_controls.cbStart, &QPushButton::clicked, renderRun, &RenderRun::run);
    auto *pauseButton = new PauseButton(*this, *renderRun, this);
    connect(m_controls.btStop, &QPushButton::clicked, pauseButton, &PauseButton::click);
    connect(m_controls.btInfo, &QPushButton::clicked, this, [] {});
    setUpSectionAndPalette();

    load();
}

// The handlers of the section and the palette, owned by the window.
void MainWindow::setUpSectionAndPalette()
{
    auto *zoom = new DoubleClickZoom(*this, this);
    connect(this, &MainWindow::doubleClicked, zoom, &DoubleClickZoom::takeDoubleClick);

    auto *presets = new ExamplePresets(*this, this);
    for (int k = 1; k <= ExamplePresets::Count; ++k)
        connect(m_controls.cbF[size_t(k)], &QPushButton::clicked, presets,
                [presets, k] { presets->load(k); });

    auto *clear = new ClearCommands(*this, this);
    connect(m_controls.cbFC, &QPushButton::clicked, clear, &ClearCommands::clearFractal);
    connect(m_controls.btC, &QPushButton::clicked, clear, &ClearCommands::clearAll);

    auto *editor = new PaletteEditor(*this, this);
    for (int n = 0; n < PaletteSize; ++n)
        connect(m_controls.btF[size_t(n)], &QPushButton::clicked, editor,
                [editor, n] { editor->chooseColor(n); });
    connect(m_controls.lblStandardfarben, &ClickableLabel::clicked, editor,
            &PaletteEditor::resetToStandard);
}

void MainWindow::load()
{
    m_controls.lblBar->resize(0, m_controls.lblBar->height());
    setWindowTitle(QStringLiteral(" %1 - Version %2.%3")
                       .arg(QString::fromLatin1(ApplicationTitle))
                       .arg(QUIRLBAU_VERSION_MAJOR)
                       .arg(QUIRLBAU_VERSION_MINOR));
    m_state.formAlive = true;
}

void MainWindow::showPoints()
{
    update(m_surface.rect());
}

void MainWindow::refresh()
{
    m_surface.clear();
    repaint();
}

void MainWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(m_surface.rect().topLeft(), m_surface.image());
}

// Qt reports the end of a window only after running handlers return, so a
// render run in progress learns of the close here.
void MainWindow::closeEvent(QCloseEvent *event)
{
    m_state.formAlive = false;
    event->accept();
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QPoint position = event->position().toPoint();
    if (event->button() != Qt::LeftButton || childAt(position)) {
        event->ignore();
        return;
    }
    emit doubleClicked(position);
}

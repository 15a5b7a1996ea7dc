#include "app/mainwindow.h"

#include "app/clickablelabel.h"
#include "app/icon.h"
#include "app/picturelayer.h"
#include "core/programinfo.h"
#include "form/backcolor.h"
#include "palette/paletteeditor.h"
#include "core/standardcolors.h"
#include "pictures/picturedrop.h"
#include "pictures/picturefiles.h"
#include "pictures/filmcommand.h"
#include "pictures/picturemenu.h"
#include "pictures/picturenavigator.h"
#include "pictures/picturerestorer.h"
#include "pictures/surfacerecord.h"
#include "render/pausebutton.h"
#include "render/renderrun.h"
#include "section/clearcommands.h"
#include "section/doubleclickzoom.h"
#include "section/examplepresets.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

namespace {

constexpr QSize ClientArea(10230 / 15, 6135 / 15);

} // namespace

MainWindow::MainWindow(Platform &platform, QWidget *parent)
    : QWidget(parent), m_platform(platform)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(DesignCaption);
    setWindowIcon(QPixmap::fromImage(mandelbrotIcon()));
    QPalette background = palette();
    background.setColor(QPalette::Window, toQColor(WindowBackColor));
    setPalette(background);
    setAutoFillBackground(true);
    resize(ClientArea);

    m_controls = buildWindowDesign(this);
    // Created last, so it lies above the frame lines and the labels it overlaps.
    m_pictureLayer = new PictureLayer(this);
    m_controls.txtX0->setFocus();
    RenderRun *renderRun = setUpRenderRun();
    setUpSectionAndPalette();
    setUpPictures(*renderRun);

    load();
}

DrawingSurface &MainWindow::surface()
{
    return *m_pictureLayer;
}

const QImage &MainWindow::picture() const
{
    return m_pictureLayer->picture();
}

RenderRun *MainWindow::setUpRenderRun()
{
    const Controls &c = m_controls;
    RunControls run{c.txtX0, c.txtX1, c.txtY0, c.txtY1, c.txtMaxIter, c.lblF,
                    c.lblCounts, c.lblPixel, c.lblBar, c.lblI, c.lblJ, c.btStop, {}};
    run.lockedWhileRunning = {c.cbStart, c.btC, c.cbFC, c.cbF[1], c.cbF[2], c.cbF[3],
                              c.cbF[4], c.cbF[5], c.cbF[6], c.btF[0], c.btF[1], c.btF[2],
                              c.btF[3], c.btF[4], c.btF[5], c.btF[6], c.btF[7]};
    auto *renderRun = new RenderRun(run, m_state, *m_pictureLayer, m_platform, this, this);
    connect(c.cbStart, &QPushButton::clicked, renderRun, &RenderRun::run);
    auto *pauseButton = new PauseButton(c.btStop, m_state, *renderRun, this);
    connect(c.btStop, &QPushButton::clicked, pauseButton, &PauseButton::click);
    return renderRun;
}

// The handlers of the section and the palette, owned by the window.
void MainWindow::setUpSectionAndPalette()
{
    const Controls &c = m_controls;
    const std::array<QLineEdit *, 4> sectionFields{c.txtX0, c.txtX1, c.txtY0, c.txtY1};

    const DoubleClickZoom::Controls zoomControls{
        c.txtX0, c.txtX1, c.txtY0, c.txtY1, c.lblXP0, c.lblYP0, c.lblXP1, c.lblYP1,
        c.lblXP2, c.lblYP2, c.lblX0, c.lblX1, c.lblY0, c.lblY1, c.lblVergroeßerungText};
    auto *zoom = new DoubleClickZoom(zoomControls, m_state, m_platform, this, this);
    connect(this, &MainWindow::doubleClicked, zoom, &DoubleClickZoom::takeDoubleClick);

    auto *presets = new ExamplePresets(sectionFields, this);
    for (int k = 1; k <= ExamplePresets::Count; ++k)
        connect(c.cbF[size_t(k)], &QPushButton::clicked, presets, [presets, k] { presets->load(k); });

    auto *clear = new ClearCommands(*m_pictureLayer, {sectionFields, c.lblCounts, c.lblI, c.btStop},
                                    m_state, this);
    connect(c.cbFC, &QPushButton::clicked, clear, &ClearCommands::clearFractal);
    connect(c.btC, &QPushButton::clicked, clear, &ClearCommands::clearAll);

    auto *editor = new PaletteEditor(c.lblF, m_platform, this, this);
    for (int n = 0; n < PaletteSize; ++n)
        connect(c.btF[size_t(n)], &QPushButton::clicked, editor, [editor, n] { editor->chooseColor(n); });
    connect(c.lblStandardfarben, &ClickableLabel::clicked, editor, &PaletteEditor::resetToStandard);
}

// Save, open, copy and the history of complete pictures. Whatever puts
// something new on the surface leaves the history's entries.
void MainWindow::setUpPictures(RenderRun &renderRun)
{
    const Controls &c = m_controls;
    auto *surfaceRecord = new SurfaceRecord(this);
    connect(&renderRun, &RenderRun::started, surfaceRecord, &SurfaceRecord::runStarted);
    connect(&renderRun, &RenderRun::countsShown, surfaceRecord, &SurfaceRecord::countsShown);
    connect(&renderRun, &RenderRun::completed, surfaceRecord, &SurfaceRecord::runCompleted);
    connect(m_pictureLayer, &PictureLayer::cleared, surfaceRecord, &SurfaceRecord::surfaceCleared);

    auto *restorer = new PictureRestorer(
        {{c.txtX0, c.txtX1, c.txtY0, c.txtY1, c.txtMaxIter},
         c.lblF, c.lblCounts, c.lblPixel, c.lblBar, c.lblI, c.btStop},
        m_state,
        *m_pictureLayer, this);
    auto *navigator = new PictureNavigator(*m_pictureLayer, *surfaceRecord, *restorer, this);
    connect(&renderRun, &RenderRun::started, navigator, &PictureNavigator::leave);
    connect(m_pictureLayer, &PictureLayer::cleared, navigator, &PictureNavigator::leave);

    m_pictureFiles =
        new PictureFiles(*m_pictureLayer, *surfaceRecord, *restorer, m_platform, this, this);
    connect(m_pictureFiles, &PictureFiles::opened, navigator, &PictureNavigator::leave);
    auto *film = new FilmCommand(*surfaceRecord, m_platform, this, this);
    auto *menu = new PictureMenu(*m_pictureFiles, *navigator, *film, m_state, this, this);
    connect(this, &MainWindow::contextMenuAsked, menu, &PictureMenu::popUp);
    new PictureDrop(*m_pictureFiles, m_state,
                    {this, c.txtX0, c.txtX1, c.txtY0, c.txtY1, c.txtMaxIter}, this);
}

bool MainWindow::openPicture(const QString &path)
{
    return m_pictureFiles->openFile(path);
}

bool MainWindow::openPicture(const QByteArray &name)
{
    return m_pictureFiles->openFile(name);
}

void MainWindow::load()
{
    m_controls.lblBar->resize(0, m_controls.lblBar->height());
    setWindowTitle(QStringLiteral(" %1 - Version %2")
                       .arg(QString::fromUtf8(ProgramName), QString::fromUtf8(ProgramVersion)));
    m_state.formAlive = true;
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

void MainWindow::contextMenuEvent(QContextMenuEvent *event)
{
    if (childAt(event->pos())) {
        event->ignore();
        return;
    }
    emit contextMenuAsked(event->globalPos());
}

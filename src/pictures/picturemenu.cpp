#include "pictures/picturemenu.h"

#include "pictures/filmcommand.h"
#include "form/formstate.h"
#include "pictures/picturefiles.h"
#include "pictures/picturenavigator.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

PictureMenu::PictureMenu(PictureFiles &files, PictureNavigator &navigator, FilmCommand &film,
                         const FormState &state, QWidget *window, QObject *parent)
    : QObject(parent), m_files(files), m_navigator(navigator), m_state(state), m_window(window)
{
    m_save = addCommand(QStringLiteral("actSave"), QStringLiteral("Bild speichern …"),
                        QKeySequence(Qt::CTRL | Qt::Key_S));
    m_copy = addCommand(QStringLiteral("actCopy"), QStringLiteral("Bild kopieren"),
                        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    // Only in the menu: no key of the window changes its meaning.
    m_film = new QAction(QStringLiteral("Zoomfilm speichern …"), m_window);
    m_film->setObjectName(QStringLiteral("actFilm"));
    m_open = addCommand(QStringLiteral("actOpen"), QStringLiteral("Bild öffnen …"),
                        QKeySequence(Qt::CTRL | Qt::Key_O));
    m_back = addCommand(QStringLiteral("actBack"), QStringLiteral("Zurück"),
                        QKeySequence(Qt::ALT | Qt::Key_Left));
    m_forward = addCommand(QStringLiteral("actForward"), QStringLiteral("Vor"),
                           QKeySequence(Qt::ALT | Qt::Key_Right));

    connect(m_save, &QAction::triggered, &files, &PictureFiles::save);
    connect(m_copy, &QAction::triggered, &files, &PictureFiles::copy);
    connect(m_film, &QAction::triggered, &film, &FilmCommand::make);
    // A shortcut during a run finds the action enabled: the run disables
    // no action, so the three check for themselves.
    connect(m_open, &QAction::triggered, this, [this] {
        if (mayReplacePicture())
            m_files.open();
    });
    connect(m_back, &QAction::triggered, this, [this] {
        if (mayReplacePicture())
            m_navigator.back();
    });
    connect(m_forward, &QAction::triggered, this, [this] {
        if (mayReplacePicture())
            m_navigator.forward();
    });
}

QAction *PictureMenu::addCommand(const QString &name, const QString &text,
                                 const QKeySequence &shortcut)
{
    auto *action = new QAction(text, m_window);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    m_window->addAction(action);
    return action;
}

bool PictureMenu::mayReplacePicture() const
{
    return m_state.runPhase != RunPhase::Drawing;
}

void PictureMenu::updateAvailability()
{
    const bool mayReplace = mayReplacePicture();
    m_open->setEnabled(mayReplace);
    m_back->setEnabled(mayReplace && m_navigator.history().canGoBack());
    m_forward->setEnabled(mayReplace && m_navigator.history().canGoForward());
}

void PictureMenu::popUp(const QPoint &globalPosition)
{
    updateAvailability();
    QMenu menu(m_window);
    menu.setObjectName(QStringLiteral("pictureMenu"));
    menu.addActions({m_save, m_copy});
    menu.addSeparator();
    menu.addAction(m_film);
    menu.addSeparator();
    menu.addAction(m_open);
    menu.addSeparator();
    menu.addActions({m_back, m_forward});
    menu.exec(globalPosition);
    // Enabled again for the shortcuts, which check for themselves.
    m_open->setEnabled(true);
    m_back->setEnabled(true);
    m_forward->setEnabled(true);
}

#include "pictures/picturedrop.h"

#include "form/formstate.h"
#include "pictures/picturefiles.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QWidget>

PictureDrop::PictureDrop(PictureFiles &files, const FormState &state,
                         const std::vector<QWidget *> &targets, QObject *parent)
    : QObject(parent), m_files(files), m_state(state)
{
    for (QWidget *target : targets) {
        target->setAcceptDrops(true);
        target->installEventFilter(this);
    }
}

// One local file; anything else goes on to the widget as before.
QString PictureDrop::droppedFile(const QMimeData *data) const
{
    if (!data || data->urls().size() != 1 || !data->urls().front().isLocalFile())
        return {};
    return data->urls().front().toLocalFile();
}

bool PictureDrop::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    auto *drop = static_cast<QDropEvent *>(event);
    const QString path = droppedFile(drop->mimeData());
    if (path.isEmpty())
        return QObject::eventFilter(watched, event);
    if (m_state.runPhase == RunPhase::Drawing) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        // After the drag has ended: a message box inside the drop would
        // hold the dragging application too.
        QTimer::singleShot(0, &m_files, [files = &m_files, path] { files->openFile(path); });
    }
    return true;
}

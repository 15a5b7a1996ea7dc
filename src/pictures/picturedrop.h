#pragma once

#include <QObject>

#include <vector>

class PictureFiles;
class QMimeData;
class QWidget;
struct FormState;

// A file dropped anywhere on the window, the text fields included, is
// opened as a picture; while a run draws, drops are refused.
class PictureDrop : public QObject
{
    Q_OBJECT

public:
    // `targets`: the window, and the children that take drops of their own
    // (the fields would otherwise paste the file's name).
    PictureDrop(PictureFiles &files, const FormState &state, const std::vector<QWidget *> &targets,
                QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString droppedFile(const QMimeData *data) const;

    PictureFiles &m_files;
    const FormState &m_state;
};

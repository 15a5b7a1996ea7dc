#pragma once

#include "export/framesink.h"
#include "picturefile/picturerecord.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class PngBandWriter;

// A film as one indexed PNG per frame, frame-000000.png …, in an existing
// folder. The frames go into a hidden temporary folder inside it first and
// are moved into place only when all are written: until then the folder
// holds what it held, and the temporary folder goes away on failure, on
// destruction and on SIGINT, SIGTERM or SIGHUP (the program then exits with
// 128 + the signal's number).
class FramesFolder : public FrameSink
{
public:
    using TextsOf = std::function<PictureTexts(int frame)>;

    FramesFolder(const QString &folder, int width, int height, std::vector<std::uint32_t> rgbPalette,
                 TextsOf textsOf);
    ~FramesFolder() override;

    bool open();
    bool beginFrame(int frame) override;
    bool writeRows(const std::uint8_t *indices, int rows) override;
    bool endFrame() override;
    // Everything on disk, then each frame renamed into the folder.
    bool commit();
    QString error() const override { return m_error; }

    static QString frameName(int frame);

private:
    bool fail(const QString &name, int error);
    void discard();

    QString m_folder;
    int m_width, m_height;
    std::vector<std::uint32_t> m_palette;
    TextsOf m_textsOf;
    QByteArray m_temporary; // the temporary folder's path
    std::vector<int> m_written; // frame numbers in the temporary folder
    int m_fd = -1;
    int m_frame = -1;
    std::unique_ptr<PngBandWriter> m_png;
    QString m_error;
};

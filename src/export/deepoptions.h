#pragma once

#include "picturefile/picturerecord.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <cstdint>
#include <optional>
#include <utility>

// A still given by its centre and width as decimal texts of any length
// (--re, --im, --width), drawn by the deep kernel where doubles cannot.
struct DeepRequest
{
    QString re, im, width; // the texts, exactly as given
    std::int64_t imax = 300;
    PictureRecord record;  // palette, cycle, size and height; its section is only the nearest doubles
};

// Up to 2^31 − 1 steps for a deep view; the other paths keep their range.
inline constexpr std::int64_t DeepImaxMax = 2147483647;

// The options --re, --im and --width, and the texts a deep picture records.
class DeepOptions
{
public:
    DeepOptions();
    QList<QCommandLineOption> options() const { return {m_re, m_im, m_width}; }
    bool requested(const QCommandLineParser &parser) const;

    // The deep request from the options over `saved` (from --from), if any.
    // False with one German line in *error.
    // --size gives W × H (else the saved picture's), --imax 1 … 2^31 − 1,
    // --cycle; the palette is the saved picture's or the standard one.
    // A film's size without --size comes from defaultSize, not the picture.
    struct Shared
    {
        const QCommandLineOption &size, &imax, &cycle;
        std::optional<std::pair<int, int>> defaultSize = std::nullopt;
    };
    bool read(const QCommandLineParser &parser, const Shared &shared, const std::optional<DeepRequest> &saved,
              DeepRequest &request, QString *error) const;

    // Fills the record's section and field texts with the view's edges as
    // the nearest doubles, and its Imax text; false where the texts and the
    // size make no view.
    static bool settle(DeepRequest &request);

    // The deep view a picture's texts hold (see isDeepView); nullopt with
    // the reason in *whyNot for an ill-formed one.
    static std::optional<DeepRequest> fromTexts(const PictureTexts &texts, QString *whyNot);
    // The picture's texts: the record's, Imax the deep one, and Re, Im, Width.
    static PictureTexts texts(const DeepRequest &request);

private:
    QCommandLineOption m_re, m_im, m_width;
};

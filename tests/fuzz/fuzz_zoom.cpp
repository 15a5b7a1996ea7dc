// libFuzzer target for the double-click zoom on a real window, offscreen.
//
// Input: one byte that picks the decimal separator (comma or full stop),
// three double-click positions as pairs of little-endian 32-bit integers
// (window pixels, any value), then the texts of txtX0, txtX1, txtY0, txtY1
// separated by line feeds, as UTF-8.
//
// Each input types the four texts, double-clicks three times on the window
// (press, release, double-click, release, as the platform delivers them)
// and checks: a double-click on a control is not taken; after the third
// one taken, either the four fields hold texts that read back by the
// text-to-number rule as the new section, rounded to 15 significant digits,
// and no message came, or the fields are as they were and the message box
// came once. The sanitizers watch for the rest.

#include "app/application.h"
#include "app/mainwindow.h"
#include "fakeplatform.h"
#include "fifteendigits.h"
#include "core/numbertext.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

constexpr size_t PositionBytes = 3 * 2 * 4;

FakePlatform *platform = nullptr;
MainWindow *window = nullptr;

[[noreturn]] void fail(const char *what, const QStringList &before, const QStringList &after)
{
    std::fprintf(stderr, "%s\n  fields before: %s\n  fields after:  %s\n", what,
                 qPrintable(before.join(u" | ")), qPrintable(after.join(u" | ")));
    std::abort();
}

std::int32_t readInt32(const std::uint8_t *bytes)
{
    std::uint32_t value = 0;
    for (int n = 3; n >= 0; --n)
        value = value << 8 | bytes[n];
    std::int32_t result;
    std::memcpy(&result, &value, sizeof result);
    return result;
}

void send(QEvent::Type type, QPoint position)
{
    const QPointF at(position);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, at, Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(window, &event);
}

void doubleClick(QPoint position)
{
    send(QEvent::MouseButtonPress, position);
    send(QEvent::MouseButtonRelease, position);
    send(QEvent::MouseButtonDblClick, position);
    send(QEvent::MouseButtonRelease, position);
}

std::array<QLineEdit *, 4> sectionFields()
{
    const Controls &c = window->controls();
    return {c.txtX0, c.txtX1, c.txtY0, c.txtY1};
}

QStringList sectionTexts()
{
    QStringList texts;
    for (const QLineEdit *field : sectionFields())
        texts.append(field->text());
    return texts;
}

// The new section by the zoom's arithmetic, written out here once more;
// nullopt when a field is not a number or a value is not finite.
std::optional<std::array<double, 4>> newSection(const QStringList &texts, QChar separator,
                                                const std::array<QPoint, 3> &at)
{
    std::array<double, 4> old{};
    for (size_t n = 0; n < old.size(); ++n) {
        const std::optional<double> value = NumberText::toNumber(texts[qsizetype(n)], separator);
        if (!value)
            return std::nullopt;
        old[n] = *value;
    }
    const double xp0 = at[0].x(), yp0 = at[0].y(), xp1 = at[1].x(), yp1 = at[1].y();
    const double xp2 = at[2].x(), yp2 = (yp1 + xp2) - xp1;
    const std::array<double, 4> section{old[0] + (old[1] - old[0]) * ((xp1 - xp0) / 400),
                                        old[0] + (old[1] - old[0]) * ((xp2 - xp0) / 400),
                                        old[2] + (old[3] - old[2]) * ((yp1 - yp0) / 400),
                                        old[2] + (old[3] - old[2]) * ((yp2 - yp0) / 400)};
    for (const double value : section)
        if (!std::isfinite(value))
            return std::nullopt;
    return section;
}

void checkSelection(const QStringList &before, QChar separator, const std::array<QPoint, 3> &at)
{
    const QStringList after = sectionTexts();
    const FormState &state = window->state();
    if (state.zoomOriginSet || state.zoomCornerSet)
        fail("the third double-click left a selection open", before, after);
    const std::optional<std::array<double, 4>> section = newSection(before, separator, at);
    if (!section) {
        if (after != before)
            fail("a selection that cannot be computed changed the fields", before, after);
        if (platform->messages.size() != 1)
            fail("a selection that cannot be computed gave no message", before, after);
        return;
    }
    if (!platform->messages.isEmpty())
        fail("a good selection gave a message", before, after);
    for (size_t n = 0; n < section->size(); ++n) {
        const std::optional<double> back = NumberText::toNumber(after[qsizetype(n)], separator);
        if (!back || *back != roundedTo15Digits((*section)[n])) {
            std::fprintf(stderr, "field %zu: section %.17g, read back %.17g\n", n, (*section)[n],
                         back.value_or(std::nan("")));
            fail("a field does not read back as the new section", before, after);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_zoom";
    static char *argv[] = {name, nullptr};
    auto *app = new QApplication(argc, argv);
    setUpApplication(*app);
    platform = new FakePlatform;
    window = new MainWindow(*platform);
    window->show();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    if (size < 1 + PositionBytes)
        return 0;
    const bool comma = data[0] & 1;
    QLocale::setDefault(comma ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c());
    const QChar separator = comma ? u',' : u'.';
    std::array<QPoint, 3> at;
    for (size_t n = 0; n < at.size(); ++n)
        at[n] = QPoint(readInt32(data + 1 + 8 * n), readInt32(data + 5 + 8 * n));
    const QStringList texts =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 1 + PositionBytes),
                          qsizetype(size - 1 - PositionBytes))
            .split(u'\n');

    FormState &state = window->state();
    state.zoomOriginSet = state.zoomCornerSet = false;
    platform->messages.clear();
    const std::array<QLineEdit *, 4> fields = sectionFields();
    for (size_t n = 0; n < fields.size(); ++n)
        fields[n]->setText(qsizetype(n) < texts.size() ? texts[qsizetype(n)] : QString());
    const QStringList before = sectionTexts();

    std::array<QPoint, 3> taken;
    size_t count = 0;
    for (const QPoint position : at) {
        const bool onWindow = window->childAt(position) == nullptr;
        doubleClick(position);
        if (onWindow)
            taken[count++] = position;
        else if (sectionTexts() != before || !platform->messages.isEmpty())
            fail("a double-click on a control reached the zoom", before, sectionTexts());
    }
    if (count == 3)
        checkSelection(before, separator, taken);
    else if (sectionTexts() != before || state.zoomOriginSet != (count >= 1)
             || state.zoomCornerSet != (count == 2))
        fail("an unfinished selection changed the fields or lost its state", before, sectionTexts());
    return 0;
}

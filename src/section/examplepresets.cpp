#include "section/examplepresets.h"

#include "core/decimalseparator.h"
#include "core/numbertext.h"

#include <QLineEdit>

#include <array>
#include <variant>

namespace {

// A fixed text is written as it stands, an integer as its digits, a number
// by the number-to-text rule when the preset is loaded.
using Entry = std::variant<const char *, int, double>;
using Preset = std::array<Entry, 4>; // X0, X1, Y0, Y1

const std::array<Preset, ExamplePresets::Count> Presets{{
    {-2, 2, -2, 2},
    {"-1,0", -0.5, "0,0", 0.5},
    {"-0,70", "-0,60", 0.325, 0.425},
    {-0.65, "-0,60", 0.375, 0.425},
    {-1.4025, "-1,4020", -0.00025, 0.00025},
    {-1.4025, "-1,40225", "0,00025", "0,00050"},
}};

QString entryText(const Entry &entry)
{
    if (const auto *fixed = std::get_if<const char *>(&entry))
        return QString::fromLatin1(*fixed);
    if (const auto *whole = std::get_if<int>(&entry))
        return NumberText::fromWhole(*whole);
    return NumberText::fromNumber(std::get<double>(entry), decimalSeparator());
}

} // namespace

ExamplePresets::ExamplePresets(const std::array<QLineEdit *, 4> &sectionFields, QObject *parent)
    : QObject(parent), m_fields(sectionFields)
{
}

void ExamplePresets::load(int k)
{
    Q_ASSERT(k >= 1 && k <= Count);
    const Preset &preset = Presets[size_t(k - 1)];
    for (size_t i = 0; i < m_fields.size(); ++i)
        m_fields[i]->setText(entryText(preset[i]));
}

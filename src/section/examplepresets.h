#pragma once

#include <QObject>

#include <array>

class QLineEdit;

// The six example sections behind cbF1..cbF6. Loading one writes its four
// entries into txtX0, txtX1, txtY0, txtY1 and does nothing else: no run, no
// clearing, txtMaxIter untouched.
class ExamplePresets : public QObject
{
    Q_OBJECT

public:
    static constexpr int Count = 6;

    // txtX0, txtX1, txtY0, txtY1.
    explicit ExamplePresets(const std::array<QLineEdit *, 4> &sectionFields,
                            QObject *parent = nullptr);

    // Preset k, 1 to 6. Number entries take the locale's decimal separator
    // at the moment of the call; fixed texts keep their commas and zeros.
    //   load(2) with a comma -> "-1,0", "-0,5", "0,0", "0,5"
    //   load(2) with a point -> "-1,0", "-0.5", "0,0", "0.5"
    void load(int k);

private:
    std::array<QLineEdit *, 4> m_fields;
};

#pragma once

#include <QLineEdit>
#include <QTest>
#include <QWidget>

// What a user does with the mouse and the keyboard, for the window tests.

// A real double-click: Qt 6.4's mouseDClick alone sends a lone double-click
// event and leaves the button down. QTest takes (0, 0) for the centre of
// `target`: pass another point.
inline void doubleClickAt(QWidget *target, QPoint at)
{
    QTest::mousePress(target, Qt::LeftButton, {}, at);
    QTest::mouseRelease(target, Qt::LeftButton, {}, at);
    QTest::mouseDClick(target, Qt::LeftButton, {}, at);
    QTest::mouseRelease(target, Qt::LeftButton, {}, at);
}

inline void clickOn(QWidget *target)
{
    QTest::mouseClick(target, Qt::LeftButton, {}, target->rect().center());
}

// Clicks into the field, selects all and types `text` over it (an empty
// text deletes the selection).
inline void typeInto(QLineEdit *field, const QString &text)
{
    clickOn(field);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Delete);
    else
        QTest::keyClicks(field, text);
}

#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace pvx::testing {

/// Presses and releases Esc on `widget`, as the keyboard would.
inline void pressEscape(QWidget &widget)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&widget, &release);
}

} // namespace pvx::testing

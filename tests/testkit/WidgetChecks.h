#pragma once

#include <QStringList>

class QWidget;

namespace testing_support {

/// Controls that take the keyboard focus but have no accessible name (screen readers and outside
/// test tools find controls by role and name), as "class objectName".
QStringList unnamedControls(const QWidget& window);
/// Alt+letter mnemonics that two of the window's buttons, labels or menus share (Alt then only
/// moves between them).
QStringList sharedMnemonics(const QWidget& window);
/// Key sequences that two actions of the window share.
QStringList sharedShortcuts(const QWidget& window);

} // namespace testing_support

#include "support/WidgetChecks.h"

#include <QAction>
#include <QHash>
#include <QWidget>

namespace testing_support {

QStringList unnamedControls(const QWidget& window) {
    QStringList unnamed;
    for (QWidget* control : window.findChildren<QWidget*>()) {
        if (control->focusPolicy() != Qt::NoFocus && control->isVisibleTo(&window) &&
            !control->inherits("QScrollBar") && !control->inherits("QHeaderView") &&
            !control->objectName().startsWith(QStringLiteral("qt_")) && // parts of a named control
            control->accessibleName().isEmpty())
            unnamed << QString::fromLatin1(control->metaObject()->className()) + QLatin1Char(' ') +
                           control->objectName();
    }
    return unnamed;
}

QStringList sharedShortcuts(const QWidget& window) {
    QHash<QString, int> uses;
    for (QAction* action : window.findChildren<QAction*>()) {
        for (const QKeySequence& shortcut : action->shortcuts())
            ++uses[shortcut.toString()];
    }
    QStringList shared;
    for (auto it = uses.cbegin(); it != uses.cend(); ++it) {
        if (it.value() > 1)
            shared << it.key();
    }
    return shared;
}

} // namespace testing_support

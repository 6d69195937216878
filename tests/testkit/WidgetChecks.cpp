#include "testkit/WidgetChecks.h"

#include <QAction>
#include <QHash>
#include <QPushButton>
#include <QWidget>

namespace testing_support {

namespace {

// A button's label as a screen reader says it: no mnemonic marks, no closing ellipsis.
QString spokenLabel(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    if (text.endsWith(QChar(0x2026)))
        text.chop(1);
    return text.trimmed();
}

} // namespace

QStringList unnamedControls(const QWidget& window) {
    QStringList unnamed;
    for (QWidget* control : window.findChildren<QWidget*>()) {
        if (control->focusPolicy() == Qt::NoFocus || !control->isVisibleTo(&window) ||
            control->inherits("QScrollBar") || control->inherits("QHeaderView") ||
            control->objectName().startsWith(QStringLiteral("qt_"))) // parts of a named control
            continue;
        const QString name = QString::fromLatin1(control->metaObject()->className()) + QLatin1Char(' ') +
                             control->objectName();
        if (control->accessibleName().isEmpty()) {
            unnamed << name;
        } else if (const auto* button = qobject_cast<const QPushButton*>(control);
                   // A button with a menu shows its current choice, named by its label.
                   button && !button->text().isEmpty() && !button->menu() &&
                   spokenLabel(control->accessibleName()) != spokenLabel(button->text())) {
            unnamed << name + QStringLiteral(" (named “%1”, labelled “%2”)")
                                  .arg(control->accessibleName(), button->text());
        }
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

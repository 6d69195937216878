#include "testkit/WidgetChecks.h"

#include <QAbstractButton>
#include <QAction>
#include <QHash>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace testing_support {

namespace {

// A button's label as a screen reader says it: no mnemonic marks, no closing ellipsis.
QString spokenLabel(QString text) {
    text.replace(u"&&"_s, u"\x01"_s).remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    if (text.endsWith(QChar(0x2026)))
        text.chop(1);
    return text.trimmed();
}

} // namespace

QStringList unnamedControls(const QWidget& window) {
    QStringList unnamed;
    for (QWidget* control : window.findChildren<QWidget*>()) {
        // Buttons count even when Tab skips them (a line edit's clear button): the mouse and
        // screen readers reach them.
        if ((control->focusPolicy() == Qt::NoFocus && !control->inherits("QAbstractButton")) ||
            !control->isVisibleTo(&window) || control->inherits("QScrollBar") ||
            control->inherits("QHeaderView") ||
            control->objectName().startsWith(u"qt_"_s)) // parts of a named control
            continue;
        const QString name = QString::fromLatin1(control->metaObject()->className()) + QLatin1Char(' ') +
                             control->objectName();
        if (control->accessibleName().isEmpty()) {
            unnamed << name;
        } else if (const auto* button = qobject_cast<const QPushButton*>(control);
                   // A button with a menu shows its current choice, named by its label.
                   button && !button->text().isEmpty() && !button->menu() &&
                   spokenLabel(control->accessibleName()) != spokenLabel(button->text())) {
            unnamed << name +
                           u" (named “%1”, labelled “%2”)"_s.arg(control->accessibleName(), button->text());
        }
    }
    return unnamed;
}

QStringList sharedMnemonics(const QWidget& window) {
    QHash<QChar, QStringList> users;
    const auto note = [&](const QString& text) {
        for (qsizetype i = text.indexOf(QLatin1Char('&')); i >= 0 && i + 1 < text.size();
             i = text.indexOf(QLatin1Char('&'), i + 2)) {
            if (text[i + 1] != QLatin1Char('&')) {
                users[text[i + 1].toLower()] << spokenLabel(text);
                return;
            }
        }
    };
    for (QWidget* control : window.findChildren<QWidget*>()) {
        // Dialogs and popovers of the window have mnemonics of their own.
        if (!control->isVisibleTo(&window) || control->window() != &window)
            continue;
        if (const auto* button = qobject_cast<const QAbstractButton*>(control))
            note(button->text());
        else if (const auto* label = qobject_cast<const QLabel*>(control); label && label->buddy())
            note(label->text());
        else if (const auto* bar = qobject_cast<const QMenuBar*>(control)) {
            for (QAction* menu : bar->actions())
                note(menu->text());
        }
    }
    QStringList shared;
    for (auto it = users.cbegin(); it != users.cend(); ++it) {
        if (it.value().size() > 1)
            shared << u"Alt+%1: %2"_s.arg(it.key().toUpper(), it.value().join(u", "_s));
    }
    shared.sort();
    return shared;
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

#include "platform/ui/LineEditClearButtons.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLineEdit>

namespace {

void nameOne(QLineEdit* field) {
    if (!field->isClearButtonEnabled())
        return;
    const QString name = field->accessibleName().isEmpty()
                             ? QObject::tr("Clear")
                             : QObject::tr("Clear %1").arg(field->accessibleName());
    // Qt's own name for the action behind the button.
    if (auto* action = field->findChild<QAction*>(QStringLiteral("_q_qlineeditclearaction"))) {
        action->setText(name);
        action->setToolTip(name);
    }
    for (QAbstractButton* button : field->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
        button->setAccessibleName(name);
}

} // namespace

void LineEditClearButtons::name(QWidget* root) {
    if (auto* field = qobject_cast<QLineEdit*>(root))
        nameOne(field);
    for (QLineEdit* field : root->findChildren<QLineEdit*>())
        nameOne(field);
}

void LineEditClearButtons::installApplicationWide() {
    static LineEditClearButtons* filter = nullptr;
    if (!filter && qApp) {
        filter = new LineEditClearButtons(qApp);
        qApp->installEventFilter(filter);
    }
}

bool LineEditClearButtons::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow())
        name(static_cast<QWidget*>(watched));
    return false;
}

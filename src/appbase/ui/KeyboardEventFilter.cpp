#include "appbase/ui/KeyboardEventFilter.h"

#include "appbase/NVSLogController.h"

#include <QDebug>
#include <QKeyEvent>

KeyboardEventFilter::KeyboardEventFilter(NVSLogController* logger, QObject* parent)
    : QObject(parent), m_logger(logger ? logger : &NVSLogController::sharedLogController()) {}

bool KeyboardEventFilter::isMalformed(const QKeyEvent& event) {
    return event.type() == QEvent::KeyPress && event.modifiers().testFlag(Qt::KeypadModifier) &&
           event.text().isEmpty() && (event.key() == 0 || event.key() == Qt::Key_unknown);
}

bool KeyboardEventFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && isMalformed(*static_cast<QKeyEvent*>(event))) {
        QString description;
        QDebug(&description).noquote() << static_cast<QKeyEvent*>(event);
        m_logger->logMessageWithLevel(0, false, QStringLiteral("Ignoring buggy event %@"), description);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

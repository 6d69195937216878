#include "appbase/AlertPresenter.h"

#include "platform/ConsoleLog.h"

AlertPresenter::~AlertPresenter() = default;

int ConsoleAlertPresenter::runModal(Style style, const QString& title, const QString& message,
                                    const QStringList& buttonTitles) {
    static const char* const styleNames[] = {"Warning", "Information", "Critical"};
    const QString buttons =
        buttonTitles.isEmpty() ? QStringLiteral("OK") : buttonTitles.join(QStringLiteral(", "));
    platform::ConsoleLog::write(QString::fromLatin1(styleNames[static_cast<int>(style)]) +
                                QStringLiteral(": ") + title + QStringLiteral(" — ") + message +
                                QStringLiteral(" [") + buttons + QStringLiteral("] → ") +
                                (buttonTitles.isEmpty() ? QStringLiteral("OK") : buttonTitles.first()));
    return FirstButtonReturn;
}

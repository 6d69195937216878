#include "cli/CliLogDelegate.h"

#include "platform/ConsoleWriter.h"

namespace cli {

bool CliLogDelegate::displayLogWithInfoDict(const QVariantMap& infoDict) {
    if (m_quiet)
        return true;
    m_err.write(QString(QStringLiteral("graflink-cli: ") +
                        infoDict.value(QStringLiteral("message")).toString() + QLatin1Char('\n')));
    return true;
}

} // namespace cli

#include "cli/CliLogDelegate.h"

namespace cli {

bool CliLogDelegate::displayLogWithInfoDict(const QVariantMap& infoDict) {
    if (m_quiet)
        return true;
    std::lock_guard lock(m_mutex);
    m_err << "graflink-cli: " << infoDict.value(QStringLiteral("message")).toString() << Qt::endl;
    return true;
}

} // namespace cli

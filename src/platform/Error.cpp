#include "platform/Error.h"

namespace platform {

Error Error::make(const QString& errorDomain, int errorCode, const QString& description) {
    return Error(errorDomain, errorCode, {{LocalizedDescriptionKey, description}});
}

QString Error::localizedDescription() const {
    const auto it = userInfo.constFind(LocalizedDescriptionKey);
    if (it != userInfo.cend())
        return it->toString();
    return QStringLiteral("The operation couldn’t be completed. (%1 error %2.)").arg(domain).arg(code);
}

QString Error::localizedFailureReason() const {
    return userInfo.value(LocalizedFailureReasonKey).toString();
}

} // namespace platform

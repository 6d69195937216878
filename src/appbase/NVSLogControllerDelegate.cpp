#include "appbase/NVSLogControllerDelegate.h"

NVSLogControllerDelegate::~NVSLogControllerDelegate() = default;

std::optional<QString> NVSLogControllerDelegate::initialLogMessage() {
    return std::nullopt;
}

bool NVSLogControllerDelegate::displayLogWithInfoDict(const QVariantMap&) {
    return false;
}

bool NVSLogControllerDelegate::displayLogMessage(const QString&, qint64) {
    return false;
}

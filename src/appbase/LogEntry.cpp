#include "appbase/LogEntry.h"

QVariantMap LogEntry::infoDict() const {
    QVariantMap info{
        {MessageKey, message},
        {QStringLiteral("origin"), OriginValue},
        {LevelKey, level},
        {ShowKey, show},
        {QStringLiteral("notifyRemotes"), true},
        {QStringLiteral("source_unique_id"), QString()},
    };
    if (userNotificationTitle)
        info.insert(UserNotificationTitleKey, *userNotificationTitle);
    if (userNotificationCategory)
        info.insert(UserNotificationCategoryKey, *userNotificationCategory);
    return info;
}

LogEntry LogEntry::fromInfoDict(const QVariantMap& infoDict) {
    LogEntry entry{infoDict.value(MessageKey).toString(), infoDict.value(LevelKey).toLongLong(),
                   infoDict.value(ShowKey).toBool(), std::nullopt, std::nullopt};
    if (infoDict.contains(UserNotificationTitleKey))
        entry.userNotificationTitle = infoDict.value(UserNotificationTitleKey).toString();
    if (infoDict.contains(UserNotificationCategoryKey))
        entry.userNotificationCategory = infoDict.value(UserNotificationCategoryKey).toString();
    return entry;
}

QVariantMap LogEntry::heldMessage() const {
    return {{MessageKey, message}, {LevelKey, level}, {ShowKey, show}};
}

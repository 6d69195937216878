#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

/// One message of the technical log on its way to the delegate: its text (passwords already
/// removed), its level, whether it is shown, and the notification a critical one becomes. The
/// delegate receives it as a dictionary under the keys below.
struct LogEntry {
    static inline const QString MessageKey = QStringLiteral("message");
    static inline const QString LevelKey = QStringLiteral("level");
    static inline const QString ShowKey = QStringLiteral("show");
    static inline const QString UserNotificationTitleKey = QStringLiteral("userNotificationTitle");
    static inline const QString UserNotificationCategoryKey = QStringLiteral("userNotificationCategory");
    /// The "origin" of every dictionary the log makes.
    static constexpr int OriginValue = 7;

    QString message;
    qint64 level = 0;
    bool show = false;
    std::optional<QString> userNotificationTitle;
    std::optional<QString> userNotificationCategory;

    /// The dictionary a delegate's displayLogWithInfoDict receives.
    QVariantMap infoDict() const;
    /// What a dictionary describes; its message as it stands there.
    static LogEntry fromInfoDict(const QVariantMap& infoDict);
    /// What is kept of a message held until a delegate comes: text, level and whether shown.
    QVariantMap heldMessage() const;
};

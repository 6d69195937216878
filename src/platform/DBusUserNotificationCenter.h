#pragma once

#include "platform/UserNotificationCenter.h"

#include <QDBusConnection>

namespace platform {

/// User notifications through the freedesktop Notifications service on a D-Bus connection
/// (the session bus by default). With no bus, or no notification server on it, notifications
/// are not authorised and nothing is posted; nothing waits longer than `callTimeoutMs`.
class DBusUserNotificationCenter : public UserNotificationCenter {
public:
    static inline const QString ServiceName = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString ObjectPath = QStringLiteral("/org/freedesktop/Notifications");
    static inline const QString InterfaceName = QStringLiteral("org.freedesktop.Notifications");

    DBusUserNotificationCenter();
    explicit DBusUserNotificationCenter(const QDBusConnection& connection, int callTimeoutMs = 1000);

    NotificationAuthorizationStatus authorizationStatus() override;
    void requestAuthorization(int options, std::function<void(bool granted)> completion) override;
    void add(const UserNotificationRequest& request) override;

private:
    QDBusConnection m_connection;
    int m_callTimeoutMs;
};

} // namespace platform

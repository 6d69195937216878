#pragma once

#include "platform/UserNotificationCenter.h"

#include <QDBusConnection>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {

/// User notifications through the freedesktop Notifications service on a D-Bus connection
/// (the session bus by default). With no bus, or no notification server on it, notifications
/// are not authorised and nothing is posted; nothing waits longer than `callTimeoutMs`.
/// A category's actions become the notification's buttons; the server's "ActionInvoked" signal
/// for one of them reaches the response handler (action identifiers are the application's own,
/// such as "UpgradeNotificationAction", so they are not confused with other programs' buttons).
/// The session bus is connected when first needed.
class DBusUserNotificationCenter : public UserNotificationCenter {
  public:
    static inline const QString ServiceName = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString ObjectPath = QStringLiteral("/org/freedesktop/Notifications");
    static inline const QString InterfaceName = QStringLiteral("org.freedesktop.Notifications");

    DBusUserNotificationCenter();
    ~DBusUserNotificationCenter() override;
    explicit DBusUserNotificationCenter(const QDBusConnection& connection, int callTimeoutMs = 1000);

    NotificationAuthorizationStatus authorizationStatus() override;
    void requestAuthorization(int options, std::function<void(bool granted)> completion) override;
    void add(const UserNotificationRequest& request) override;
    void setNotificationCategories(const QList<UserNotificationCategory>& categories) override;
    void setResponseHandler(std::function<void(const UserNotificationResponse&)> handler) override;

  private:
    class ActionListener;

    /// The bus, connected on first use: a process that never notifies (most command-line runs)
    /// starts no bus thread and makes no connection.
    QDBusConnection& connection();

    std::once_flag m_connected;
    std::optional<QDBusConnection> m_connection;
    int m_callTimeoutMs;
    mutable std::mutex m_mutex;
    QList<UserNotificationCategory> m_categories;
    std::unique_ptr<ActionListener> m_listener;
};

} // namespace platform

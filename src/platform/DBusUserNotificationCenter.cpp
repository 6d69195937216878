#include "platform/DBusUserNotificationCenter.h"

#include "platform/BundleInfo.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace platform {

/// Receives the notification server's "ActionInvoked" signals on the main thread.
class DBusUserNotificationCenter::ActionListener : public QObject {
    Q_OBJECT
  public:
    std::function<void(const QString&)> onAction;

  public Q_SLOTS:
    void actionInvoked(uint /*notificationId*/, const QString& actionKey) {
        if (onAction)
            onAction(actionKey);
    }
};

DBusUserNotificationCenter::DBusUserNotificationCenter() : m_callTimeoutMs(1000) {}

DBusUserNotificationCenter::DBusUserNotificationCenter(const QDBusConnection& connection, int callTimeoutMs)
    : m_connection(connection), m_callTimeoutMs(callTimeoutMs) {}

DBusUserNotificationCenter::~DBusUserNotificationCenter() {
    if (m_listener && m_connection && m_connection->isConnected())
        m_connection->disconnect(QString(), ObjectPath, InterfaceName, QStringLiteral("ActionInvoked"),
                                 m_listener.get(), SLOT(actionInvoked(uint, QString)));
}

QDBusConnection& DBusUserNotificationCenter::connection() {
    std::call_once(m_connected, [this] {
        if (!m_connection)
            m_connection = QDBusConnection::sessionBus();
    });
    return *m_connection;
}

void DBusUserNotificationCenter::setNotificationCategories(
    const QList<UserNotificationCategory>& categories) {
    std::lock_guard lock(m_mutex);
    m_categories = categories;
}

void DBusUserNotificationCenter::setResponseHandler(
    std::function<void(const UserNotificationResponse&)> handler) {
    if (!m_listener) {
        m_listener = std::make_unique<ActionListener>();
        if (connection().isConnected())
            connection().connect(QString(), ObjectPath, InterfaceName, QStringLiteral("ActionInvoked"),
                                 m_listener.get(), SLOT(actionInvoked(uint, QString)));
    }
    m_listener->onAction = [this, handler = std::move(handler)](const QString& actionKey) {
        bool ours = false;
        {
            std::lock_guard lock(m_mutex);
            for (const UserNotificationCategory& category : std::as_const(m_categories))
                for (const UserNotificationAction& action : category.actions)
                    ours = ours || action.identifier == actionKey;
        }
        if (ours && handler)
            handler(UserNotificationResponse{actionKey});
    };
}

NotificationAuthorizationStatus DBusUserNotificationCenter::authorizationStatus() {
    if (!connection().isConnected())
        return NotificationAuthorizationStatus::Denied;
    QDBusMessage query = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    query << ServiceName;
    const QDBusMessage reply = connection().call(query, QDBus::Block, m_callTimeoutMs);
    const bool present = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                         reply.arguments().constFirst().toBool();
    return present ? NotificationAuthorizationStatus::Authorized : NotificationAuthorizationStatus::Denied;
}

void DBusUserNotificationCenter::requestAuthorization(int /*options*/, std::function<void(bool)> completion) {
    // The desktop has no per-application consent: a running notification server is the answer.
    const bool granted = authorizationStatus() == NotificationAuthorizationStatus::Authorized;
    if (completion)
        completion(granted);
}

void DBusUserNotificationCenter::add(const UserNotificationRequest& request) {
    if (!connection().isConnected() || isApplicationFrontmost())
        return;
    QDBusMessage notify =
        QDBusMessage::createMethodCall(ServiceName, ObjectPath, InterfaceName, QStringLiteral("Notify"));
    QVariantMap hints;
    if (!request.categoryIdentifier.isEmpty())
        hints.insert(QStringLiteral("category"), request.categoryIdentifier);
    hints.insert(QStringLiteral("x-norvane-request-id"), request.identifier);
    if (!request.sound)
        hints.insert(QStringLiteral("suppress-sound"), true);
    QStringList actions;
    {
        std::lock_guard lock(m_mutex);
        for (const UserNotificationCategory& category : std::as_const(m_categories)) {
            if (category.identifier != request.categoryIdentifier || request.categoryIdentifier.isEmpty())
                continue;
            for (const UserNotificationAction& action : category.actions)
                actions << action.identifier << action.title;
        }
    }
    notify << BundleInfo::bundleName() << 0u << QString() << request.title << request.body << actions << hints
           << -1;
    // Fire and forget: a slow notification server must never hold up the caller.
    connection().send(notify);
}

} // namespace platform

#include "DBusUserNotificationCenter.moc"

#include "platform/DBusUserNotificationCenter.h"

#include "platform/BundleInfo.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace platform {

DBusUserNotificationCenter::DBusUserNotificationCenter()
    : DBusUserNotificationCenter(QDBusConnection::sessionBus()) {}

DBusUserNotificationCenter::DBusUserNotificationCenter(const QDBusConnection& connection, int callTimeoutMs)
    : m_connection(connection), m_callTimeoutMs(callTimeoutMs) {}

NotificationAuthorizationStatus DBusUserNotificationCenter::authorizationStatus() {
    if (!m_connection.isConnected())
        return NotificationAuthorizationStatus::Denied;
    QDBusMessage query = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    query << ServiceName;
    const QDBusMessage reply = m_connection.call(query, QDBus::Block, m_callTimeoutMs);
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
    if (!m_connection.isConnected())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(ServiceName, ObjectPath, InterfaceName, QStringLiteral("Notify"));
    QVariantMap hints;
    if (!request.categoryIdentifier.isEmpty())
        hints.insert(QStringLiteral("category"), request.categoryIdentifier);
    hints.insert(QStringLiteral("x-norvane-request-id"), request.identifier);
    if (!request.sound)
        hints.insert(QStringLiteral("suppress-sound"), true);
    notify << BundleInfo::bundleName() << 0u << QString() << request.title << request.body << QStringList()
           << hints << -1;
    // Fire and forget: a slow notification server must never hold up the caller.
    m_connection.send(notify);
}

} // namespace platform

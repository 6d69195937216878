#include "platform/DBusUserNotificationCenter.h"

#include "testkit/PrivateDBus.h"
#include "testkit/TestHelpers.h"

#include <QDBusConnection>
#include <QVariantMap>
#include <gtest/gtest.h>

namespace {

using platform::DBusUserNotificationCenter;
using platform::NotificationAuthorizationStatus;

/// A desktop notification server, as a real peer on a private bus.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    struct Received {
        QString appName, summary, body;
        QVariantMap hints;
    };
    QList<Received> received;

  public Q_SLOTS:
    uint Notify(const QString& appName, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap& hints, int) {
        received.append({appName, summary, body, hints});
        return static_cast<uint>(received.size());
    }
};

TEST(DBusUserNotifications, WithoutABusAreNotAuthorisedAndPostNothing) {
    DBusUserNotificationCenter center(
        QDBusConnection::connectToBus(u"unix:path=/nonexistent/bus"_s, u"no-bus"_s));
    EXPECT_EQ(center.authorizationStatus(), NotificationAuthorizationStatus::Denied);
    bool answered = false, granted = true;
    center.requestAuthorization(7, [&](bool g) {
        answered = true;
        granted = g;
    });
    EXPECT_TRUE(answered);
    EXPECT_FALSE(granted);
    center.add({u"id"_s, u"t"_s, u"b"_s, {}, false}); // must not block or crash
}

TEST(DBusUserNotifications, AreDeliveredToTheNotificationServerOnTheBus) {
    testing_support::PrivateDBus bus;
    if (bus.address().isEmpty())
        GTEST_SKIP() << "dbus-daemon is not available";

    QDBusConnection serverConnection = QDBusConnection::connectToBus(bus.address(), u"server"_s);
    ASSERT_TRUE(serverConnection.isConnected());
    DBusUserNotificationCenter center(QDBusConnection::connectToBus(bus.address(), u"client"_s));
    EXPECT_EQ(center.authorizationStatus(), NotificationAuthorizationStatus::Denied) << "no server yet";

    NotificationServer server;
    ASSERT_TRUE(serverConnection.registerObject(DBusUserNotificationCenter::ObjectPath, &server,
                                                QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(serverConnection.registerService(DBusUserNotificationCenter::ServiceName));
    EXPECT_EQ(center.authorizationStatus(), NotificationAuthorizationStatus::Authorized);

    // Not while the user works in the program: its windows say it already.
    center.setApplicationFrontmost(true);
    center.add({u"REQUEST-0"_s, u"Critical Error"_s, u"Unseen"_s, u"WarningNotification"_s, false});
    center.setApplicationFrontmost(false);
    center.add({u"REQUEST-1"_s, u"Critical Error"_s, u"Feed lost"_s, u"WarningNotification"_s, false});
    ASSERT_TRUE(testing_support::waitUntil([&] { return !server.received.isEmpty(); }));
    ASSERT_EQ(server.received.size(), 1);
    const NotificationServer::Received& got = server.received.first();
    EXPECT_EQ(got.appName, u"Graflink"_s);
    EXPECT_EQ(got.summary, u"Critical Error"_s);
    EXPECT_EQ(got.body, u"Feed lost"_s);
    EXPECT_EQ(got.hints.value(u"category"_s).toString(), u"WarningNotification"_s);

    QDBusConnection::disconnectFromBus(u"client"_s);
    QDBusConnection::disconnectFromBus(u"server"_s);
}

} // namespace

#include "DBusUserNotificationCenterTest.moc"

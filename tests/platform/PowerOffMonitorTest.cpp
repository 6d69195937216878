#include "platform/PowerOffMonitor.h"

#include "testkit/PrivateDBus.h"
#include "testkit/TestHelpers.h"

#include <QDBusMessage>
#include <gtest/gtest.h>

namespace {

using platform::PowerOffMonitor;
using namespace std::chrono_literals;

TEST(PowerOffMonitor, AnnouncesOnceWhenLogindPreparesToPowerOff) {
    testing_support::PrivateDBus bus;
    if (bus.address().isEmpty())
        GTEST_SKIP() << "dbus-daemon is not available";
    QDBusConnection logind = QDBusConnection::connectToBus(bus.address(), u"logind"_s);
    PowerOffMonitor monitor(QDBusConnection::connectToBus(bus.address(), u"monitor"_s));
    int announcements = 0;
    QObject::connect(&monitor, &PowerOffMonitor::willPowerOff, &monitor, [&] { ++announcements; });
    const auto prepareForShutdown = [&](bool starting) {
        QDBusMessage signal = QDBusMessage::createSignal(
            PowerOffMonitor::ObjectPath, PowerOffMonitor::InterfaceName, u"PrepareForShutdown"_s);
        signal << starting;
        EXPECT_TRUE(logind.send(signal));
    };

    prepareForShutdown(true); // from a connection that does not own the logind name: ignored
    ASSERT_TRUE(logind.registerService(PowerOffMonitor::ServiceName));
    prepareForShutdown(false); // a cancelled shutdown
    testing_support::spinFor(300ms);
    EXPECT_FALSE(monitor.isPoweringOff());
    EXPECT_EQ(announcements, 0);

    prepareForShutdown(true);
    prepareForShutdown(true);
    ASSERT_TRUE(testing_support::waitUntil([&] { return monitor.isPoweringOff(); }));
    testing_support::spinFor(100ms);
    EXPECT_EQ(announcements, 1);

    QDBusConnection::disconnectFromBus(u"monitor"_s);
    QDBusConnection::disconnectFromBus(u"logind"_s);
}

} // namespace

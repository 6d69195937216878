// One application object per test binary, created before any test, with the user's settings and
// state folders redirected into a temporary folder so that no test touches the real home.
#include "testkit/ChildRole.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

#ifdef GRAFLINK_TEST_GUI
#include "platform/ui/LineEditClearButtons.h"

#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    // A test's helper child (support/ChildRole.h) keeps the folders of its parent: one that
    // crashes on purpose would leave a temporary home of its own behind.
    std::optional<QTemporaryDir> home;
    if (!testing_support::ChildRole::isRequested()) {
        home.emplace();
        if (!home->isValid())
            return 3;
        const QByteArray root = home->path().toUtf8();
        qputenv("XDG_CONFIG_HOME", root + "/config");
        qputenv("XDG_STATE_HOME", root + "/state");
        qputenv("XDG_CACHE_HOME", root + "/cache");
        qputenv("XDG_DATA_HOME", root + "/data");
        qputenv("GRAFLINK_MACHINE_SUPPORT_DIR", root + "/machine");
    }
    // Output that depends on the locale or time zone is compared with fixed texts.
    qputenv("TZ", "UTC");
    qputenv("LC_ALL", "C.UTF-8");
    // No session bus unless a test starts its own: notifications are then "not authorised".
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    // Widget tests render off screen unless a developer asks for a real display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
#ifdef GRAFLINK_TEST_GUI
    // As the desktop program does.
    LineEditClearButtons::installApplicationWide();
#endif
    if (const std::optional<int> childStatus = testing_support::ChildRole::runRequested())
        return *childStatus;
    return RUN_ALL_TESTS();
}

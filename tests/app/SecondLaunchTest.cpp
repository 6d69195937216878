// A second start of the desktop program, as a double-click in the file manager makes it, under a
// session bus of the test's own.
#include "app/AppDelegate.h"
#include "app/GraflinkDocument.h"
#include "platform/UserDefaults.h"
#include "testkit/PrivateDBus.h"
#include "testkit/TestHelpers.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace {

class SecondLaunch : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        QDir().mkpath(home.filePath(QStringLiteral("logs")));
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon is part of the build's dependencies";
        platform::UserDefaults settings(configFile());
        settings.setValue(QStringLiteral("technicalLogFolderPath"), home.filePath(QStringLiteral("logs")));
        settings.setValue(QStringLiteral("releaseNotesURL"), QStringLiteral("http://127.0.0.1:9/"));
        ASSERT_TRUE(settings.synchronize());
    }
    QString configFile() const { return home.filePath(QStringLiteral("config/Norvane/Graflink.conf")); }

    QString makeDocument(const QString& name) {
        const QString path = home.filePath(name);
        GraflinkDocument document;
        platform::Error error;
        EXPECT_TRUE(document.saveToPath(path, GraflinkDocument::DocumentTypeName, &error));
        return path;
    }

    void start(QProcess& program, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.setWorkingDirectory(QDir::rootPath());
        program.start(QStringLiteral(GRAFLINK_PATH), arguments);
        ASSERT_TRUE(program.waitForStarted(10000));
    }

    int startedBanners() const {
        int count = 0;
        for (QDirIterator files(home.filePath(QStringLiteral("logs")), {QStringLiteral("*.log")},
                                QDir::Files);
             files.hasNext();)
            count += QString::fromUtf8(testing_support::readFile(files.next()))
                         .count(QStringLiteral("GRAFLINK STARTED"));
        return count;
    }

    QTemporaryDir home;
    testing_support::PrivateDBus bus;
};

TEST_F(SecondLaunch, HandsItsFilesToTheRunningProgramAndEnds) {
    const QString first = makeDocument(QStringLiteral("first.graflink"));
    const QString second = makeDocument(QStringLiteral("second.graflink"));
    QProcess running;
    start(running, {first});
    ASSERT_TRUE(testing_support::waitUntil([&] { return startedBanners() == 1; }, std::chrono::seconds(20)));

    // Files (one already open) and a bare start: each ends at once and starts nothing of its own.
    for (const QStringList& arguments : {QStringList{second, first}, QStringList{}}) {
        QProcess again;
        start(again, arguments);
        ASSERT_TRUE(again.waitForFinished(10000));
        EXPECT_EQ(again.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(again.exitCode(), 0) << again.readAll().toStdString();
    }
    testing_support::spinFor(std::chrono::milliseconds(1000));
    EXPECT_EQ(startedBanners(), 1);

    ::kill(pid_t(running.processId()), SIGTERM);
    ASSERT_TRUE(running.waitForFinished(20000));
    EXPECT_EQ(running.exitCode(), 0) << running.readAll().toStdString();
    EXPECT_EQ(platform::UserDefaults(configFile())
                  .objectForKey(AppDelegate::LastOpenedDocumentPathsKey)
                  .toStringList(),
              QStringList({first, second}));
}

} // namespace

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
        QDir().mkpath(home.filePath(u"logs"_s));
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon is part of the build's dependencies";
        platform::UserDefaults settings(configFile());
        settings.setValue(u"technicalLogFolderPath"_s, home.filePath(u"logs"_s));
        settings.setValue(u"releaseNotesURL"_s, u"http://127.0.0.1:9/"_s);
        ASSERT_TRUE(settings.synchronize());
    }
    QString configFile() const { return home.filePath(u"config/Norvane/Graflink.conf"_s); }

    QString makeDocument(const QString& name) {
        const QString path = home.filePath(name);
        GraflinkDocument document;
        platform::Error error;
        EXPECT_TRUE(document.saveToPath(path, GraflinkDocument::DocumentTypeName, &error));
        return path;
    }

    void start(QProcess& program, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
        environment.insert(u"XDG_STATE_HOME"_s, home.filePath(u"state"_s));
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, bus.address());
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.setWorkingDirectory(QDir::rootPath());
        program.start(QStringLiteral(GRAFLINK_PATH), arguments);
        ASSERT_TRUE(program.waitForStarted(10000));
    }

    int startedBanners() const {
        int count = 0;
        for (QDirIterator files(home.filePath(u"logs"_s), {u"*.log"_s}, QDir::Files); files.hasNext();)
            count += QString::fromUtf8(testing_support::readFile(files.next())).count(u"GRAFLINK STARTED"_s);
        return count;
    }

    QTemporaryDir home;
    testing_support::PrivateDBus bus;
};

TEST_F(SecondLaunch, HandsItsFilesToTheRunningProgramAndEnds) {
    const QString first = makeDocument(u"first.graflink"_s);
    const QString second = makeDocument(u"second.graflink"_s);
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

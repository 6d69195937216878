#include "app/AppDelegate.h"
#include "app/GraflinkDocument.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceConstants.h"
#include "platform/UserDefaults.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/PrivateDBus.h"
#include "testkit/TestHelpers.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

using testing_support::LoopbackHttpServer;

namespace {

/// A home of its own for the real programs, run as child processes.
class ProgramHome : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        server.serve("/feed.xml", LoopbackHttpServer::Reply::text("<a><b>1</b></a>", "application/xml"));
        QDir().mkpath(logs());
    }

    QString configFile() const { return home.filePath(u"config/Norvane/Graflink.conf"_s); }
    QString logs() const { return home.filePath(u"logs"_s); }
    QString reports() const { return home.filePath(u"state/Norvane/DiagnosticReports"_s); }

    QString makeDocument(const QString& name) {
        const QString path = home.filePath(name);
        platform::Error error;
        if (name.endsWith(NVSCGDataSourceFileExtension)) {
            NVSCGDataSource dataSource;
            EXPECT_TRUE(dataSource.saveToPath(path, NVSCGDataSourceDocumentType, &error));
            dataSource.close();
        } else {
            GraflinkDocument document;
            document.setSourceURLString(server.url(u"/feed.xml"_s).toString());
            EXPECT_TRUE(document.saveToPath(path, GraflinkDocument::DocumentTypeName, &error));
        }
        return path;
    }

    void storeSettings(const QVariantMap& values = {}) {
        platform::UserDefaults settings(configFile());
        settings.setValue(u"technicalLogFolderPath"_s, logs());
        // The version check asks the loopback server (which knows no such page), never the internet.
        settings.setValue(u"releaseNotesURL"_s, server.url(u"/release-notes"_s).toString());
        for (auto it = values.begin(); it != values.end(); ++it)
            settings.setValue(it.key(), it.value());
        ASSERT_TRUE(settings.synchronize());
    }

    QVariant storedSetting(const QString& key) const {
        return platform::UserDefaults(configFile()).objectForKey(key);
    }

    QString logText() const {
        QString text;
        for (QDirIterator files(logs(), {u"*.log"_s}, QDir::Files); files.hasNext();)
            text += QString::fromUtf8(testing_support::readFile(files.next()));
        return text;
    }

    /// Starts `program`; on the session bus at `bus`, or on none when it is empty.
    static void launch(QProcess& process, const QString& program, const QStringList& arguments,
                       const QString& homePath, const QString& bus = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, homePath + u"/config"_s);
        environment.insert(u"XDG_STATE_HOME"_s, homePath + u"/state"_s);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        environment.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
        if (!bus.isEmpty())
            environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, bus);
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(QDir::rootPath());
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    void stop(QProcess& process, int signal) {
        ::kill(pid_t(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(20000));
        output += QString::fromUtf8(process.readAll());
    }

    QTemporaryDir home;
    LoopbackHttpServer server;
    QString output;
};

struct Program {
    const char* name;
    QString path;
    QStringList arguments;
    /// The name its crash reports carry.
    QString reportName;
};

void PrintTo(const Program& program, std::ostream* os) {
    *os << program.name;
}

class ApplicationLaunch : public ProgramHome, public testing::WithParamInterface<Program> {
  protected:
    void start(QProcess& process) {
        launch(process, GetParam().path, GetParam().arguments, home.path());
        // Past the start banner the program handles its signals; the documents reopen right after.
        ASSERT_TRUE(testing_support::waitUntil(
            [&] { return logText().count(u"GRAFLINK STARTED"_s) > started; }, std::chrono::seconds(20)));
        ++started;
        testing_support::spinFor(std::chrono::milliseconds(1500));
    }

    int started = 0;
};

TEST_P(ApplicationLaunch, ReopensTheLastDocumentsInOrderAndStoresThemAtQuit) {
    const QString first = makeDocument(u"first.graflink"_s);
    const QString deleted = makeDocument(u"deleted.graflink"_s);
    const QString results = makeDocument(u"results.cgds"_s);
    const QString last = makeDocument(u"last.graflink"_s);
    QFile::remove(deleted);
    storeSettings({{AppDelegate::LastOpenedDocumentPathsKey, QStringList{first, deleted, results, last}},
                   {u"LastOpenedVersion"_s, u"0.9"_s}});

    QProcess program;
    start(program);
    stop(program, SIGTERM);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(program.exitCode(), 0) << output.toStdString();

    EXPECT_EQ(storedSetting(AppDelegate::LastOpenedDocumentPathsKey).toStringList(),
              QStringList({first, results, last}));
    EXPECT_NE(storedSetting(u"LastOpenedVersion"_s).toString(), u"0.9"_s);
    const QString log = logText();
    EXPECT_EQ(log.count(u"********** GRAFLINK STARTED v."_s), 1) << log.toStdString();
    EXPECT_EQ(log.count(u"********** GRAFLINK STOPPED v."_s), 1) << log.toStdString();
    EXPECT_FALSE(output.contains(u"Failed to open last document"_s)) << output.toStdString();
}

TEST_P(ApplicationLaunch, ACrashLeavesAReportAndTheNextLaunchSaysSo) {
    storeSettings();
    QProcess crashing;
    start(crashing);
    stop(crashing, SIGSEGV);
    EXPECT_EQ(crashing.exitStatus(), QProcess::CrashExit);
    const QStringList found = QDir(reports()).entryList({GetParam().reportName + u"-*.crash"_s});
    ASSERT_EQ(found.size(), 1) << output.toStdString();
    const QString report =
        QString::fromUtf8(testing_support::readFile(reports() + QLatin1Char('/') + found.first()));
    EXPECT_TRUE(report.contains(u"SIGSEGV"_s)) << report.toStdString();
    EXPECT_TRUE(report.contains(u"No documents open."_s)) << "the application's crash-log text";

    QProcess next;
    start(next);
    stop(next, SIGTERM);
    EXPECT_EQ(logText().count(u"Warning: Bugsnag: The last time Graflink ran, it crashed."_s), 1);
}

INSTANTIATE_TEST_SUITE_P(Programs, ApplicationLaunch,
                         testing::Values(Program{"Desktop", QStringLiteral(GRAFLINK_PATH), {}, u"Graflink"_s},
                                         Program{"CommandLine",
                                                 QStringLiteral(GRAFLINK_CLI_PATH),
                                                 {u"run"_s, u"--reopen"_s},
                                                 u"graflink-cli"_s}),
                         [](const testing::TestParamInfo<Program>& param) {
                             return std::string(param.param.name);
                         });

// A second start of the desktop program, as a double-click in the file manager makes it, under a
// session bus of the test's own.
TEST_F(ProgramHome, ASecondLaunchHandsItsFilesToTheRunningProgramAndEnds) {
    testing_support::PrivateDBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon is part of the build's dependencies";
    storeSettings();
    const QString first = makeDocument(u"first.graflink"_s);
    const QString second = makeDocument(u"second.graflink"_s);
    const QString desktop = QStringLiteral(GRAFLINK_PATH);
    const auto banners = [&] { return logText().count(u"GRAFLINK STARTED"_s); };
    QProcess running;
    launch(running, desktop, {first}, home.path(), bus.address());
    ASSERT_TRUE(testing_support::waitUntil([&] { return banners() == 1; }, std::chrono::seconds(20)));

    // Files (one already open) and a bare start: each ends at once and starts nothing of its own.
    for (const QStringList& arguments : {QStringList{second, first}, QStringList{}}) {
        QProcess again;
        launch(again, desktop, arguments, home.path(), bus.address());
        ASSERT_TRUE(again.waitForFinished(10000));
        EXPECT_EQ(again.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(again.exitCode(), 0) << again.readAll().toStdString();
    }
    testing_support::spinFor(std::chrono::milliseconds(1000));
    EXPECT_EQ(banners(), 1);

    stop(running, SIGTERM);
    EXPECT_EQ(running.exitCode(), 0) << output.toStdString();
    EXPECT_EQ(storedSetting(AppDelegate::LastOpenedDocumentPathsKey).toStringList(),
              QStringList({first, second}));
}

} // namespace

#include "app/AppDelegate.h"
#include "app/GraflinkDocument.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceConstants.h"
#include "platform/UserDefaults.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/TestHelpers.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

using testing_support::LoopbackHttpServer;

namespace {

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

/// The real program as a child process, in a home of its own.
class ApplicationLaunch : public testing::TestWithParam<Program> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        server.serve("/feed.xml", LoopbackHttpServer::Reply::text("<a><b>1</b></a>", "application/xml"));
        QDir().mkpath(logs());
    }

    QString configFile() const { return home.filePath(QStringLiteral("config/Norvane/Graflink.conf")); }
    QString logs() const { return home.filePath(QStringLiteral("logs")); }
    QString reports() const { return home.filePath(QStringLiteral("state/Norvane/DiagnosticReports")); }

    QString makeDocument(const QString& name) {
        const QString path = home.filePath(name);
        platform::Error error;
        if (name.endsWith(NVSCGDataSourceFileExtension)) {
            NVSCGDataSource dataSource;
            EXPECT_TRUE(dataSource.saveToPath(path, NVSCGDataSourceDocumentType, &error));
            dataSource.close();
        } else {
            GraflinkDocument document;
            document.setSourceURLString(server.url(QStringLiteral("/feed.xml")).toString());
            EXPECT_TRUE(document.saveToPath(path, GraflinkDocument::DocumentTypeName, &error));
        }
        return path;
    }

    void storeSettings(const QVariantMap& values) {
        platform::UserDefaults settings(configFile());
        settings.setValue(QStringLiteral("technicalLogFolderPath"), logs());
        // The version check asks the loopback server (which knows no such page), never the internet.
        settings.setValue(QStringLiteral("releaseNotesURL"),
                          server.url(QStringLiteral("/release-notes")).toString());
        for (auto it = values.begin(); it != values.end(); ++it)
            settings.setValue(it.key(), it.value());
        ASSERT_TRUE(settings.synchronize());
    }

    QVariant storedSetting(const QString& key) const {
        return platform::UserDefaults(configFile()).objectForKey(key);
    }

    QString logText() const {
        QString text;
        for (QDirIterator files(logs(), {QStringLiteral("*.log")}, QDir::Files); files.hasNext();)
            text += QString::fromUtf8(testing_support::readFile(files.next()));
        return text;
    }

    void start(QProcess& process) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(GetParam().path, GetParam().arguments);
        ASSERT_TRUE(process.waitForStarted(10000));
        // Past the start banner the program handles its signals; the documents reopen right after.
        ASSERT_TRUE(testing_support::waitUntil(
            [&] { return logText().count(QStringLiteral("GRAFLINK STARTED")) > started; },
            std::chrono::seconds(20)));
        ++started;
        testing_support::spinFor(std::chrono::milliseconds(1500));
    }

    void stop(QProcess& process, int signal) {
        ::kill(pid_t(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(20000));
        output += QString::fromUtf8(process.readAll());
    }

    QTemporaryDir home;
    LoopbackHttpServer server;
    int started = 0;
    QString output;
};

TEST_P(ApplicationLaunch, ReopensTheLastDocumentsInOrderAndStoresThemAtQuit) {
    const QString first = makeDocument(QStringLiteral("first.graflink"));
    const QString deleted = makeDocument(QStringLiteral("deleted.graflink"));
    const QString results = makeDocument(QStringLiteral("results.cgds"));
    const QString last = makeDocument(QStringLiteral("last.graflink"));
    QFile::remove(deleted);
    storeSettings({{AppDelegate::LastOpenedDocumentPathsKey, QStringList{first, deleted, results, last}},
                   {QStringLiteral("LastOpenedVersion"), QStringLiteral("0.9")}});

    QProcess program;
    start(program);
    stop(program, SIGTERM);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(program.exitCode(), 0) << output.toStdString();

    EXPECT_EQ(storedSetting(AppDelegate::LastOpenedDocumentPathsKey).toStringList(),
              QStringList({first, results, last}));
    EXPECT_NE(storedSetting(QStringLiteral("LastOpenedVersion")).toString(), QStringLiteral("0.9"));
    const QString log = logText();
    EXPECT_EQ(log.count(QStringLiteral("********** GRAFLINK STARTED v.")), 1) << log.toStdString();
    EXPECT_EQ(log.count(QStringLiteral("********** GRAFLINK STOPPED v.")), 1) << log.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("Failed to open last document"))) << output.toStdString();
}

TEST_P(ApplicationLaunch, ACrashLeavesAReportAndTheNextLaunchSaysSo) {
    storeSettings({});
    QProcess crashing;
    start(crashing);
    stop(crashing, SIGSEGV);
    EXPECT_EQ(crashing.exitStatus(), QProcess::CrashExit);
    const QStringList found = QDir(reports()).entryList({GetParam().reportName + QStringLiteral("-*.crash")});
    ASSERT_EQ(found.size(), 1) << output.toStdString();
    const QString report =
        QString::fromUtf8(testing_support::readFile(reports() + QLatin1Char('/') + found.first()));
    EXPECT_TRUE(report.contains(QStringLiteral("SIGSEGV"))) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("No documents open."))) << "the application's crash-log text";

    QProcess next;
    start(next);
    stop(next, SIGTERM);
    EXPECT_EQ(logText().count(QStringLiteral("Warning: Bugsnag: The last time Graflink ran, it crashed.")),
              1);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ApplicationLaunch,
    testing::Values(Program{"Desktop", QStringLiteral(GRAFLINK_PATH), {}, QStringLiteral("Graflink")},
                    Program{"CommandLine",
                            QStringLiteral(GRAFLINK_CLI_PATH),
                            {QStringLiteral("run"), QStringLiteral("--reopen")},
                            QStringLiteral("graflink-cli")}),
    [](const testing::TestParamInfo<Program>& param) { return std::string(param.param.name); });

} // namespace

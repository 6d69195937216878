#include "platform/CrashReporter.h"

#include "testkit/ChildRole.h"
#include "testkit/TestHelpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/resource.h>

namespace {

using platform::CrashEvent;
using platform::CrashReporter;
using platform::CrashReporterConfiguration;

const QString AppName = u"graflink-test"_s;

CrashReporterConfiguration configurationFor(const QString& folder) {
    CrashReporterConfiguration configuration;
    configuration.appName = AppName;
    configuration.appVersion = u"1.4b2"_s;
    configuration.releaseStage = CrashReporterConfiguration::releaseStageForVersion(configuration.appVersion);
    configuration.reportsFolder = folder;
    return configuration;
}

// Helper children: a process that starts the shared reporter and crashes on purpose.
int crashWithReporter(void (*crash)()) {
    const rlimit noCoreFile{0, 0};
    setrlimit(RLIMIT_CORE, &noCoreFile);
    static QString log = u"not yet"_s;
    CrashReporterConfiguration configuration = configurationFor(qEnvironmentVariable("REPORTS_FOLDER"));
    configuration.addOnSendError([](CrashEvent& event) {
        event.addMetadata(log, u"log"_s, u"attachment"_s);
        return true;
    });
    CrashReporter::shared().start(configuration);
    // The report carries the log as of the last refresh, not as of start().
    log = u"feed lost at 14:03\nreconnecting"_s;
    CrashReporter::shared().refreshMetadata();
    crash();
    return 0;
}
const testing_support::ChildRole segfaultingChild(u"crash-reporter-segv"_s, [] {
    return crashWithReporter([] {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    });
});
const testing_support::ChildRole throwingChild(u"crash-reporter-throw"_s, [] {
    return crashWithReporter([] { throw std::runtime_error("feed parser gave up"); });
});

TEST(CrashReporterConfiguration, ReleaseStageFollowsTheVersion) {
    const struct {
        const char* version;
        const char* stage;
    } cases[] = {{"1.4b2", "development"},
                 {"1.4-test", "testing"},
                 {"1.4", "production"},
                 {"2.0beta-test", "development"}};
    for (const auto& c : cases)
        EXPECT_EQ(CrashReporterConfiguration::releaseStageForVersion(QString::fromLatin1(c.version)),
                  QString::fromLatin1(c.stage))
            << c.version;
}

class CrashReporterFiles : public ::testing::Test {
  protected:
    QTemporaryDir folder;

    QStringList reports() const { return QDir(folder.path()).entryList({u"*.crash"_s}, QDir::Files); }
    QByteArray onlyReport() const {
        const QStringList names = reports();
        return names.size() == 1 ? testing_support::readFile(folder.filePath(names.first())) : QByteArray();
    }
    qint64 runChild(QProcess& child, const QString& role) {
        QProcessEnvironment environment;
        environment.insert(u"REPORTS_FOLDER"_s, folder.path());
        return testing_support::ChildRole::run(child, role, environment);
    }
};

TEST_F(CrashReporterFiles, AFatalSignalWritesOneReportAndTheNextRunKnows) {
    QProcess child;
    const qint64 pid = runChild(child, u"crash-reporter-segv"_s);
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << child.readAllStandardError().toStdString();
    EXPECT_EQ(child.exitCode(), SIGSEGV) << "the process still dies of its signal";

    ASSERT_EQ(reports().size(), 1) << reports().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(reports().first().endsWith(u"-%1.crash"_s.arg(pid)));
    const QByteArray report = onlyReport();
    EXPECT_TRUE(report.contains("Version: 1.4b2\nRelease stage: development\n")) << report.toStdString();
    EXPECT_TRUE(report.contains("Error class: SIGSEGV\nSignal: 11\n"));
    const QByteArray program = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8();
    EXPECT_GT(report.indexOf(program, report.indexOf("Backtrace:\n")), 0) << "the crashing frames are listed";
    EXPECT_TRUE(report.contains("[attachment]\nlog: feed lost at 14:03\n  reconnecting\n"));

    const QString childMarker = folder.filePath(AppName + u".%1.running"_s.arg(pid));
    EXPECT_TRUE(QFile::exists(childMarker)) << "a crash leaves the run marker";
    for (const bool crashed : {true, false}) { // the run after the crash, then one after a clean stop
        CrashReporter next;
        next.start(configurationFor(folder.path()));
        EXPECT_EQ(next.lastRunCrashed(), crashed);
        EXPECT_FALSE(QFile::exists(childMarker));
        next.stop();
    }
    EXPECT_TRUE(QDir(folder.path()).entryList({u"*.running"_s}).isEmpty());
}

// The terminate handler writes the report; the abort() after it must not write a second one.
TEST_F(CrashReporterFiles, AnUncaughtExceptionWritesOneReportWithItsMessage) {
    QProcess child;
    runChild(child, u"crash-reporter-throw"_s);
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(child.exitCode(), SIGABRT);
    ASSERT_EQ(reports().size(), 1) << reports().join(QLatin1Char(' ')).toStdString();
    const QByteArray report = onlyReport();
    EXPECT_TRUE(report.contains("Error class: std::runtime_error\nMessage: feed parser gave up\n"))
        << report.toStdString();
    EXPECT_TRUE(report.contains("log: feed lost at 14:03"));
}

TEST_F(CrashReporterFiles, NotifyWritesAHandledExceptionUnlessABlockDeclines) {
    bool send = true;
    CrashReporterConfiguration configuration = configurationFor(folder.path());
    configuration.addOnSendError([&send](CrashEvent& event) {
        event.addMetadata(event.errorClass, u"seen"_s, u"block"_s);
        return send;
    });
    CrashReporter reporter;
    reporter.start(configuration);
    const auto exception = std::make_exception_ptr(std::invalid_argument("bad feed"));
    const QString first = reporter.notify(exception);
    const QByteArray report = testing_support::readFile(first);
    EXPECT_TRUE(report.contains("Error class: std::invalid_argument\nMessage: bad feed\n"))
        << report.toStdString();
    EXPECT_TRUE(report.contains("[block]\nseen: std::invalid_argument\n"));
    // Two reports in the same second must not overwrite each other.
    const QString second = reporter.notify(exception);
    EXPECT_FALSE(second.isEmpty());
    EXPECT_NE(second, first);
    send = false;
    EXPECT_TRUE(reporter.notify(exception).isEmpty());
    EXPECT_EQ(reports().size(), 2);
}

} // namespace

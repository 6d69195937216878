#include "support/Profiler.h"
#include "support/SupportArchive.h"
#include "support/TestHelpers.h"

#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using testing_support::readFile;
using testing_support::writeFile;

class SupportCollection : public ::testing::Test {
  protected:
    void SetUp() override {
        const QString root = dir.path();
        sources.userPreferencesFolder = root + QStringLiteral("/config");
        sources.preferencesFile = root + QStringLiteral("/config/Norvane/Graflink.conf");
        sources.machinePreferencesFolder = root + QStringLiteral("/etc");
        sources.userLogsFolder = root + QStringLiteral("/state/Logs");
        sources.machineSupportFolder = root + QStringLiteral("/share/Norvane");
        sources.diagnosticReportsFolders = {root + QStringLiteral("/state/DiagnosticReports"),
                                            root + QStringLiteral("/crash")};
        sources.crashReporterFolders = {root + QStringLiteral("/state/CrashReporter")}; // missing
        sources.systemLogFolder = root + QStringLiteral("/log");
        sources.systemLogNames = {QStringLiteral("syslog"), QStringLiteral("syslog.1")};
        sources.journalProgram = script(QStringLiteral("journal"), "echo 'Dec 07 journal line'");
        sources.dmiFolder = root + QStringLiteral("/dmi");
        sources.osReleaseFile = root + QStringLiteral("/os-release");
        sources.listCpuProgram =
            script(QStringLiteral("lscpu"),
                   R"(echo '{"lscpu": [{"field": "CPU(s):", "data": "2", "children": null}]}')");
        sources.listBlockDevicesProgram = QStringLiteral("/nonexistent/lsblk");

        writeFile(sources.preferencesFile, "[General]\nSupportUploadApplicationKey=K005secret\n"
                                           "AppleScriptsFolderPath=/home/op/actions\n");
        writeFile(sources.userPreferencesFolder + QStringLiteral("/com.norvanemedia.Graflink.plist"),
                  R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>SupportUploadApplicationKey</key><string>K005secret</string>
<key>AppleScriptsFolderPath</key><string>/home/op/actions</string></dict></plist>)");
        writeFile(sources.userPreferencesFolder + QStringLiteral("/com.aja.devicesettings.plist"), "aja");
        writeFile(sources.userLogsFolder + QStringLiteral("/Graflink/Graflink.log"), "log line");
        QFile::link(QStringLiteral("/etc/hostname"), sources.userLogsFolder + QStringLiteral("/outside"));
        writeFile(sources.machineSupportFolder + QStringLiteral("/Graflink/actions.txt"), "a");
        writeFile(sources.machineSupportFolder + QStringLiteral("/Streaming Presets/p.json"), "{}");
        writeFile(sources.machineSupportFolder +
                      QStringLiteral("/Vistacast Node/Node 1/Vistacast Node 1.app/big"),
                  "x");
        writeFile(sources.diagnosticReportsFolders[0] + QStringLiteral("/old/graflink-1.crash"), "crash");
        writeFile(sources.systemLogFolder + QStringLiteral("/syslog"), "system log");
        writeFile(sources.dmiFolder + QStringLiteral("/sys_vendor"), "Acme\n");
        writeFile(sources.dmiFolder + QStringLiteral("/product_name"), "Rack 1U\n");
        writeFile(sources.osReleaseFile, "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n");
    }

    QString script(const QString& name, const QByteArray& body) {
        const QString path = dir.filePath(QStringLiteral("bin/") + name);
        writeFile(path, "#!/bin/sh\n" + body + "\n");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    QStringList gather(Profiler& profiler, const QString& folder) {
        QSignalSpy done(&profiler, &Profiler::gathered);
        profiler.request().problemDescription = QStringLiteral("Lower third froze");
        profiler.gatherIntoFolder(folder);
        EXPECT_TRUE(done.wait(20000));
        QStringList found;
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            found << QDir(folder).relativeFilePath(it.next());
        return found;
    }

    QTemporaryDir dir;
    SupportSources sources;
};

TEST_F(SupportCollection, GathersEverySourceThatIsThereAndSkipsTheRest) {
    struct Case {
        const char* elevation; // the administrator-rights program: a script's body, or none
        bool journalRead;
    } cases[] = {{nullptr, true}, {"exec \"$@\"", true}, {"exit 126", false}};
    int run = 0;
    for (const Case& c : cases) {
        sources.elevationProgram =
            c.elevation ? script(QStringLiteral("pkexec%1").arg(run), c.elevation) : QString();
        Profiler profiler(sources);
        QSignalSpy warned(&profiler, &Profiler::warning);
        const QString folder = dir.filePath(QStringLiteral("out%1/Support").arg(run++));
        const QStringList found = gather(profiler, folder);

        for (const char* expected :
             {"User Logs/Graflink/Graflink.log", "Applications Support Files/Graflink/actions.txt",
              "Graflink/actions.txt", "Streaming Presets/p.json", "Diagnostic Reports/graflink-1.crash",
              "com.aja.devicesettings.plist", "Graflink.conf",
              "User Preferences/com.norvanemedia.Graflink.plist", "syslog", "System Profile.plist",
              "Support Request.json"})
            EXPECT_TRUE(found.contains(QString::fromLatin1(expected))) << expected;
        for (const char* absent : {"CrashReporter", "StreamDeck", "Actions", "User Logs/outside",
                                   "Applications Support Files/Vistacast Node/Node 1/Vistacast Node 1.app"})
            EXPECT_FALSE(found.contains(QString::fromLatin1(absent))) << absent;
        const QStringList journals = found.filter(QStringLiteral("SystemLogs_"));
        EXPECT_EQ(journals.size(), c.journalRead ? 1 : 0) << run;
        EXPECT_EQ(warned.count(), c.journalRead ? 0 : 1);
        EXPECT_EQ(profiler.request().problemDescription.endsWith(Profiler::WarningSuffix), !c.journalRead);
        EXPECT_EQ(profiler.deviceModelName(), QStringLiteral("Acme Rack 1U"));
        EXPECT_TRUE(profiler.xmlSystemProfile().contains(QStringLiteral("Debian GNU/Linux 12")));
        EXPECT_TRUE(profiler.xmlSystemProfile().contains(QStringLiteral("CPU(s):")));
        EXPECT_TRUE(readFile(folder + QStringLiteral("/Support Request.json")).contains("Lower third froze"));

        // Secrets stay home; nothing is open to others.
        for (const char* copy : {"/Graflink.conf", "/User Preferences/com.norvanemedia.Graflink.plist"}) {
            const QByteArray preferences = readFile(folder + QLatin1String(copy));
            EXPECT_FALSE(preferences.contains("K005secret"));
            EXPECT_TRUE(preferences.contains("/home/op/actions"));
        }
        QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            struct stat info {};
            ASSERT_EQ(::lstat(QFile::encodeName(it.next()).constData(), &info), 0);
            EXPECT_EQ(info.st_mode & 077, 0u) << it.filePath().toStdString();
        }
    }
}

TEST_F(SupportCollection, TheArchiveHoldsTheFolderWithoutItsLinks) {
    const QString folder = dir.filePath(QStringLiteral("Support ü"));
    writeFile(folder + QStringLiteral("/a/b.txt"), "b");
    QFile::link(QStringLiteral("/etc"), folder + QStringLiteral("/etc-link"));
    const QString zip = dir.filePath(QStringLiteral("Support.zip"));
    platform::Error error;
    ASSERT_TRUE(SupportArchive::create(folder, zip, &error)) << error.localizedDescription().toStdString();

    archive* reader = archive_read_new();
    archive_read_support_format_zip(reader);
    ASSERT_EQ(archive_read_open_filename(reader, QFile::encodeName(zip).constData(), 10240), ARCHIVE_OK);
    QStringList names;
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
        names << QString::fromUtf8(archive_entry_pathname_utf8(entry));
        EXPECT_EQ(archive_entry_perm(entry) & 077, 0u);
    }
    archive_read_free(reader);
    EXPECT_EQ(names, QStringList({QStringLiteral("Support ü/"), QStringLiteral("Support ü/a/"),
                                  QStringLiteral("Support ü/a/b.txt")}));
    EXPECT_EQ(QFile::permissions(zip) &
                  (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              0);

    int calls = 0;
    EXPECT_FALSE(SupportArchive::create(folder, zip + QStringLiteral("2"), &error,
                                        [&](qint64, qint64) { return ++calls < 1; }));
    EXPECT_FALSE(QFile::exists(zip + QStringLiteral("2")));
}

} // namespace

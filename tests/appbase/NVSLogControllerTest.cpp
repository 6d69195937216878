#include "appbase/NVSLogController.h"

#include "platform/UserDefaults.h"
#include "testkit/RecordingNotificationCenter.h"
#include "testkit/TestHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <mutex>
#include <semaphore>
#include <thread>

using testing_support::readFile;

namespace {

using testing_support::RecordingNotificationCenter;

class RecordingDelegate : public NVSLogControllerDelegate {
  public:
    std::optional<QString> initialLogMessage() override { return initial; }
    bool displayLogWithInfoDict(const QVariantMap& info) override {
        std::lock_guard lock(mutex);
        infos.append(info);
        return true;
    }
    QList<QVariantMap> displayed() {
        std::lock_guard lock(mutex);
        return infos;
    }
    std::optional<QString> initial;

  private:
    std::mutex mutex;
    QList<QVariantMap> infos;
};

/// A delegate that implements only the plain display operation.
class PlainDelegate : public NVSLogControllerDelegate {
  public:
    bool displayLogMessage(const QString& message, qint64 level) override {
        shown.append({message, level});
        return true;
    }
    QList<QPair<QString, qint64>> shown;
};

class TechnicalLog : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        folder = temp.path() + QStringLiteral("/Logs");
        QDir().mkpath(folder);
        defaults = std::make_unique<platform::UserDefaults>(temp.path() + QStringLiteral("/defaults.conf"));
        defaults->setValue(NVSLogController::TechnicalLogFolderPathKey, folder);
        notifications = std::make_shared<RecordingNotificationCenter>(
            platform::NotificationAuthorizationStatus::Authorized);
        setTime(QDateTime(QDate(2026, 12, 5), QTime(14, 3, 9)));
    }

    std::unique_ptr<NVSLogController> makeLogger(bool withDelegate = true) {
        auto logger = std::make_unique<NVSLogController>(NVSLogController::Configuration{
            defaults.get(), QStringLiteral("Graflink"), notifications, [this] {
                std::lock_guard lock(clockMutex);
                return now;
            }});
        if (withDelegate)
            logger->setLogDelegate(&delegate);
        return logger;
    }

    void setTime(const QDateTime& time) {
        std::lock_guard lock(clockMutex);
        now = time;
    }

    QString fileFor(const QString& day) const {
        return folder + QStringLiteral("/Graflink ") + day + QStringLiteral(".log");
    }

    QStringList linesOf(const QString& path) const {
        QString text = QString::fromUtf8(readFile(path));
        QStringList lines = text.split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    /// The critical messages the delegate was given: the logger's own reports of failed writes.
    QList<QVariantMap> failureReports() {
        QList<QVariantMap> reports;
        for (const QVariantMap& info : delegate.displayed())
            if (info.value(QStringLiteral("level")).toInt() == 0)
                reports.append(info);
        return reports;
    }

    static QString line(const QString& message, bool problem = false) {
        return (problem ? QStringLiteral("!") : QString()) +
               QStringLiteral("\t2026-12-05\t14:03:09\tSaturday\t\t") + message;
    }

    QTemporaryDir temp;
    QString folder;
    std::unique_ptr<platform::UserDefaults> defaults;
    std::shared_ptr<RecordingNotificationCenter> notifications;
    RecordingDelegate delegate;
    std::mutex clockMutex;
    QDateTime now;
};

// The delegate's initial message heads each file. The first line after it is no reference for
// repeats, so a second "A" is written and only the third swallowed. A run swallowed when the day
// changes is ended in the old day's file.
TEST_F(TechnicalLog, WritesTheExactLinesToTheDailyFiles) {
    delegate.initial = QStringLiteral("Graflink 0.1.0 started");
    auto logger = makeLogger();
    for (const char* text : {"A", "A", "A"})
        logger->logMessage(QString::fromLatin1(text), 2, false);
    for (int i = 0; i < 4; ++i)
        logger->logMessage(QStringLiteral("Trouble"), 1, false);
    for (int i = 0; i < 3; ++i)
        logger->logMessage(QStringLiteral("Same"), 2, false);
    logger->waitUntilIdle();
    EXPECT_EQ(logger->lastTechnicalLogFilePath(), fileFor(QStringLiteral("2026-12-05")));
    setTime(QDateTime(QDate(2026, 12, 6), QTime(0, 0, 1)));
    logger->logMessage(QStringLiteral("Same"), 2, false);
    logger->waitUntilIdle();
    EXPECT_EQ(readFile(fileFor(QStringLiteral("2026-12-05"))),
              QByteArray("\t2026-12-05\t14:03:09\tSaturday\t\tGraflink 0.1.0 started\r\n"
                         "\t2026-12-05\t14:03:09\tSaturday\t\tA\r\n"
                         "\t2026-12-05\t14:03:09\tSaturday\t\tA\r\n"
                         "\t2026-12-05\t14:03:09\tSaturday\t\t--- last message repeated 1 time ---\r\n"
                         "!\t2026-12-05\t14:03:09\tSaturday\t\tTrouble\r\n"
                         "\t2026-12-05\t14:03:09\tSaturday\t\t--- last message repeated 3 times ---\r\n"
                         "\t2026-12-05\t14:03:09\tSaturday\t\tSame\r\n"
                         "\t2026-12-06\t00:00:01\tSunday\t\t--- last message repeated 2 times ---\r\n"));
    // On the new day the same text is written again: the new file has no reference yet.
    EXPECT_EQ(readFile(fileFor(QStringLiteral("2026-12-06"))),
              QByteArray("\t2026-12-06\t00:00:01\tSunday\t\tGraflink 0.1.0 started\r\n"
                         "\t2026-12-06\t00:00:01\tSunday\t\tSame\r\n"));
}

// Both are read when a line is written, so each line lands before the next change; side files
// follow the folder too.
TEST_F(TechnicalLog, FollowsLevelAndFolderChangesInTheUserDefaults) {
    auto logger = makeLogger();
    logger->logMessage(QStringLiteral("First"), 2, false);
    logger->logMessage(QStringLiteral("Detail"), 3, false);
    logger->waitUntilIdle();
    const QString other = temp.path() + QStringLiteral("/Other");
    QDir().mkpath(other);
    defaults->setValue(NVSLogController::TechnicalLogFolderPathKey, other);
    defaults->setValue(NVSLogController::TechnicalLogLevelKey, 3);
    logger->logMessage(QStringLiteral("Detail"), 3, false);
    logger->logSimpleMessage(QStringLiteral("socket opened"), QStringLiteral("WebSockets"));
    logger->logSimpleMessage(QStringLiteral("socket opened"), QStringLiteral("WebSockets"));
    logger->waitUntilIdle();
    EXPECT_EQ(linesOf(fileFor(QStringLiteral("2026-12-05"))), QStringList{line(QStringLiteral("First"))});
    EXPECT_EQ(linesOf(other + QStringLiteral("/Graflink 2026-12-05.log")),
              QStringList{line(QStringLiteral("Detail"))});
    // Side files take plain lines, repeats included.
    EXPECT_EQ(readFile(other + QStringLiteral("/Graflink 2026-12-05_WebSockets.log")),
              QByteArray("2026-12-05\t14:03:09\t\tsocket opened\n2026-12-05\t14:03:09\t\tsocket opened\n"));
}

TEST_F(TechnicalLog, ReplaysTheLastTwentyHeldMessagesInOrder) {
    auto logger = makeLogger(false);
    for (int i = 1; i <= 25; ++i)
        logger->logMessage(QStringLiteral("Held %1").arg(i), 2, false);
    logger->waitUntilIdle();
    EXPECT_EQ(logger->heldMessageCount(), 20);
    EXPECT_FALSE(QFile::exists(fileFor(QStringLiteral("2026-12-05"))))
        << "nothing is written before a delegate";

    logger->setLogDelegate(&delegate);
    logger->waitUntilIdle();
    QStringList expected;
    for (int i = 6; i <= 25; ++i)
        expected.append(line(QStringLiteral("Held %1").arg(i)));
    EXPECT_EQ(linesOf(fileFor(QStringLiteral("2026-12-05"))), expected);
    EXPECT_EQ(logger->heldMessageCount(), -1);
}

TEST_F(TechnicalLog, ShowsMessagesThroughTheDelegate) {
    auto logger = makeLogger();
    logger->logMessage(QStringLiteral("Quiet"), 2, false);
    logger->logMessage(QStringLiteral("Saved"), QStringLiteral("Scores.graflink"), 2, true);
    const QList<QVariantMap> shown = delegate.displayed();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].value(QStringLiteral("message")).toString(),
              QStringLiteral("Saved (Document: Scores.graflink)"));
    EXPECT_EQ(shown[0].value(QStringLiteral("origin")).toInt(), 7);
    EXPECT_TRUE(shown[0].value(QStringLiteral("notifyRemotes")).toBool());
    EXPECT_EQ(shown[0].value(QStringLiteral("source_unique_id")).toString(), QString());
    EXPECT_FALSE(shown[0].contains(QStringLiteral("userNotificationTitle")));

    PlainDelegate plain;
    logger->setLogDelegate(&plain);
    logger->logMessageWithLevel(1, true, QStringLiteral("Lost %li of %@"), 3, QStringLiteral("feeds"));
    ASSERT_EQ(plain.shown.size(), 1);
    EXPECT_EQ(plain.shown[0].first, QStringLiteral("Lost 3 of feeds"));
    EXPECT_EQ(plain.shown[0].second, 1);
    logger->setLogDelegate(nullptr);
}

TEST_F(TechnicalLog, ReportsAnUnwritableFolderOnceUntilTheFolderChanges) {
    defaults->setValue(NVSLogController::TechnicalLogFolderPathKey,
                       QString(temp.path() + QStringLiteral("/missing")));
    auto logger = makeLogger();
    logger->logMessage(QStringLiteral("One"), 2, true);
    logger->logMessage(QStringLiteral("Two"), 2, false);
    logger->waitUntilIdle();

    const QList<QVariantMap> reports = failureReports();
    ASSERT_EQ(reports.size(), 1);
    const QVariantMap& report = reports.first();
    EXPECT_EQ(report.value(QStringLiteral("message")).toString(),
              QStringLiteral("Error: Failed to write technical logs to '%1/missing'").arg(temp.path()));
    EXPECT_TRUE(report.value(QStringLiteral("show")).toBool()) << "show of the message whose write failed";
    EXPECT_FALSE(report.value(QStringLiteral("notifyRemotes")).toBool());
    EXPECT_TRUE(report.contains(QStringLiteral("sourceUniqueID")));
    EXPECT_TRUE(report.contains(QStringLiteral("identifier")));

    defaults->setValue(NVSLogController::TechnicalLogFolderPathKey,
                       QString(temp.path() + QStringLiteral("/still-missing")));
    logger->logMessage(QStringLiteral("Three"), 2, false);
    logger->logMessage(QStringLiteral("Four"), 2, false);
    logger->waitUntilIdle();
    EXPECT_EQ(failureReports().size(), 2);
}

// Fault guarded: a write that the disk cut short (ENOSPC) lost the line without a word.
TEST_F(TechnicalLog, ReportsALineThatTheFullDiskCutShort) {
    if (!QFileInfo(QStringLiteral("/dev/full")).isWritable())
        GTEST_SKIP() << "no writable /dev/full on this machine";
    // Today's file is a link to a device that is always full. Today is the real day, so that the
    // clean-up does not take the device's age for the file's and remove the link first.
    const QDateTime today = QDateTime::currentDateTime();
    setTime(today);
    ASSERT_TRUE(
        QFile::link(QStringLiteral("/dev/full"), fileFor(today.toString(QStringLiteral("yyyy-MM-dd")))));
    auto logger = makeLogger();
    logger->logMessage(QStringLiteral("Lost"), 2, true);
    logger->waitUntilIdle();
    const QList<QVariantMap> reports = failureReports();
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(reports.first().value(QStringLiteral("message")).toString(),
              QStringLiteral("Error: Failed to write technical logs to '%1'").arg(folder));
}

// Fault guarded: the log queue called the delegate without the delegate lock, so a delegate
// removed (and destroyed) meanwhile could still be in use.
TEST_F(TechnicalLog, RemovingTheDelegateWaitsForItsCallOnTheLogQueue) {
    struct SlowDelegate : NVSLogControllerDelegate {
        std::optional<QString> initialLogMessage() override {
            entered.release();
            // Room for a removal that does not wait to return meanwhile.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            calledAfterRemoval = removed.load();
            return std::nullopt;
        }
        std::binary_semaphore entered{0};
        std::atomic<bool> removed{false};
        std::atomic<bool> calledAfterRemoval{false};
    } slow;
    auto logger = makeLogger(false);
    logger->setLogDelegate(&slow);
    logger->logMessage(QStringLiteral("First line of the file"), 2, false);
    slow.entered.acquire();
    logger->setLogDelegate(nullptr);
    slow.removed = true;
    logger->waitUntilIdle();
    EXPECT_FALSE(slow.calledAfterRemoval);
}

TEST_F(TechnicalLog, PostsCriticalShownMessagesAsUserNotifications) {
    auto logger = makeLogger();
    ASSERT_TRUE(logger->canDisplayNotifications());
    logger->logMessage(QStringLiteral("Feed lost"), 0, true);
    logger->logMessage(QStringLiteral("Not shown"), 0, false);
    logger->logMessage(QStringLiteral("Only a problem"), 1, true);
    logger->logMessage(QStringLiteral("Upgrade"), 0, QStringLiteral("New version"),
                       QStringLiteral("UpgradeNotification"), true);
    const auto posted = notifications->postedRequests();
    ASSERT_EQ(posted.size(), 2);
    EXPECT_EQ(posted[0].title, QStringLiteral("Critical Error"));
    EXPECT_EQ(posted[0].body, QStringLiteral("Feed lost"));
    EXPECT_EQ(posted[0].categoryIdentifier, QStringLiteral("WarningNotification"));
    EXPECT_EQ(posted[0].identifier.size(), 36);
    EXPECT_EQ(posted[1].title, QStringLiteral("New version"));
    EXPECT_EQ(posted[1].categoryIdentifier, QStringLiteral("UpgradeNotification"));
}

TEST_F(TechnicalLog, PostsNothingWhenNotificationsAreRefused) {
    notifications = std::make_shared<RecordingNotificationCenter>(
        platform::NotificationAuthorizationStatus::NotDetermined);
    notifications->grantOnRequest = false;
    auto logger = makeLogger();
    EXPECT_EQ(notifications->requestedOptions, 7);
    EXPECT_FALSE(logger->canDisplayNotifications());
    logger->logMessage(QStringLiteral("Feed lost"), 0, true);
    logger->waitUntilIdle();
    EXPECT_TRUE(notifications->postedRequests().isEmpty());
    EXPECT_EQ(linesOf(fileFor(QStringLiteral("2026-12-05"))),
              QStringList{line(QStringLiteral("Feed lost"), true)});
}

TEST_F(TechnicalLog, CleansUpOnlyOldFilesCarryingThePrefix) {
    auto logger = makeLogger();
    testing_support::writeFile(folder + QStringLiteral("/Graflink 2026-10-01.log"), "old");
    testing_support::writeFile(folder + QStringLiteral("/Graflink 2026-10-01_sessions.log"), "old side file");
    testing_support::writeFile(folder + QStringLiteral("/Notes.log"), "not ours");
    QDir().mkpath(folder + QStringLiteral("/Graflink archive"));
    testing_support::writeFile(folder + QStringLiteral("/Graflink archive/keep.log"), "kept");

    logger->cleanupOldTechnicalLogFiles();
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/Graflink 2026-10-01.log"))) << "younger than 30 days";

    setTime(QDateTime::currentDateTime().addDays(31));
    logger->cleanupOldTechnicalLogFiles();
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/Graflink 2026-10-01.log")));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/Graflink 2026-10-01_sessions.log")));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/Notes.log")));
    // A folder that happens to carry the prefix is the user's, not a log file.
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/Graflink archive/keep.log")));
}

TEST_F(TechnicalLog, KeepsEveryLineFromConcurrentCallers) {
    auto logger = makeLogger();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&logger, t] {
            for (int i = 0; i < 250; ++i)
                logger->logMessage(QStringLiteral("thread %1 message %2").arg(t).arg(i), 2, false);
        });
    for (auto& thread : threads)
        thread.join();
    logger->waitUntilIdle();
    const QStringList lines = linesOf(fileFor(QStringLiteral("2026-12-05")));
    EXPECT_EQ(lines.size(), 1000);
    // Per thread, lines keep their call order.
    for (int t = 0; t < 4; ++t) {
        int expected = 0;
        for (const QString& text : lines)
            if (text.contains(QStringLiteral("thread %1 ").arg(t))) {
                EXPECT_TRUE(text.endsWith(QStringLiteral("message %1").arg(expected++)));
            }
        EXPECT_EQ(expected, 250);
    }
}

} // namespace

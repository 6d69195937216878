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

class TechnicalLog : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        folder = temp.path() + u"/Logs"_s;
        QDir().mkpath(folder);
        defaults = std::make_unique<platform::UserDefaults>(temp.path() + u"/defaults.conf"_s);
        defaults->setValue(NVSLogController::TechnicalLogFolderPathKey, folder);
        notifications = std::make_shared<RecordingNotificationCenter>(
            platform::NotificationAuthorizationStatus::Authorized);
        setTime(QDateTime(QDate(2026, 12, 5), QTime(14, 3, 9)));
    }

    std::unique_ptr<NVSLogController> makeLogger(bool withDelegate = true) {
        auto logger = std::make_unique<NVSLogController>(
            NVSLogController::Configuration{defaults.get(), u"Graflink"_s, notifications, [this] {
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

    QString fileFor(const QString& day) const { return folder + u"/Graflink "_s + day + u".log"_s; }

    /// The file's lines (none is empty: each has at least its time stamp).
    QStringList linesOf(const QString& path) const {
        return QString::fromUtf8(readFile(path)).split(u"\r\n"_s, Qt::SkipEmptyParts);
    }

    /// The critical messages the delegate was given: the logger's own reports of failed writes.
    QList<QVariantMap> failureReports() {
        QList<QVariantMap> reports;
        for (const QVariantMap& info : delegate.displayed())
            if (info.value(u"level"_s).toInt() == 0)
                reports.append(info);
        return reports;
    }

    static QString line(const QString& message, bool problem = false) {
        return (problem ? u"!"_s : QString()) + u"\t2026-12-05\t14:03:09\tSaturday\t\t"_s + message;
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
    delegate.initial = u"Graflink 0.1.0 started"_s;
    auto logger = makeLogger();
    for (const char* text : {"A", "A", "A"})
        logger->logMessage(QString::fromLatin1(text), 2, false);
    for (int i = 0; i < 4; ++i)
        logger->logMessage(u"Trouble"_s, 1, false);
    for (int i = 0; i < 3; ++i)
        logger->logMessage(u"Same"_s, 2, false);
    logger->waitUntilIdle();
    EXPECT_EQ(logger->lastTechnicalLogFilePath(), fileFor(u"2026-12-05"_s));
    setTime(QDateTime(QDate(2026, 12, 6), QTime(0, 0, 1)));
    logger->logMessage(u"Same"_s, 2, false);
    logger->waitUntilIdle();
    EXPECT_EQ(readFile(fileFor(u"2026-12-05"_s)),
              QByteArray("\t2026-12-05\t14:03:09\tSaturday\t\tGraflink 0.1.0 started\r\n"
                         "\t2026-12-05\t14:03:09\tSaturday\t\tA\r\n"
                         "\t2026-12-05\t14:03:09\tSaturday\t\tA\r\n"
                         "\t2026-12-05\t14:03:09\tSaturday\t\t--- last message repeated 1 time ---\r\n"
                         "!\t2026-12-05\t14:03:09\tSaturday\t\tTrouble\r\n"
                         "\t2026-12-05\t14:03:09\tSaturday\t\t--- last message repeated 3 times ---\r\n"
                         "\t2026-12-05\t14:03:09\tSaturday\t\tSame\r\n"
                         "\t2026-12-06\t00:00:01\tSunday\t\t--- last message repeated 2 times ---\r\n"));
    // On the new day the same text is written again: the new file has no reference yet.
    EXPECT_EQ(readFile(fileFor(u"2026-12-06"_s)),
              QByteArray("\t2026-12-06\t00:00:01\tSunday\t\tGraflink 0.1.0 started\r\n"
                         "\t2026-12-06\t00:00:01\tSunday\t\tSame\r\n"));
}

// Both are read when a line is written, so each line lands before the next change; side files
// follow the folder too.
TEST_F(TechnicalLog, FollowsLevelAndFolderChangesInTheUserDefaults) {
    auto logger = makeLogger();
    logger->logMessage(u"First"_s, 2, false);
    logger->logMessage(u"Detail"_s, 3, false);
    logger->waitUntilIdle();
    const QString other = temp.path() + u"/Other"_s;
    QDir().mkpath(other);
    defaults->setValue(NVSLogController::TechnicalLogFolderPathKey, other);
    defaults->setValue(NVSLogController::TechnicalLogLevelKey, 3);
    logger->logMessage(u"Detail"_s, 3, false);
    logger->logSimpleMessage(u"socket opened"_s, u"WebSockets"_s);
    logger->logSimpleMessage(u"socket opened"_s, u"WebSockets"_s);
    logger->waitUntilIdle();
    EXPECT_EQ(linesOf(fileFor(u"2026-12-05"_s)), QStringList{line(u"First"_s)});
    EXPECT_EQ(linesOf(other + u"/Graflink 2026-12-05.log"_s), QStringList{line(u"Detail"_s)});
    // Side files take plain lines, repeats included.
    EXPECT_EQ(readFile(other + u"/Graflink 2026-12-05_WebSockets.log"_s),
              QByteArray("2026-12-05\t14:03:09\t\tsocket opened\n2026-12-05\t14:03:09\t\tsocket opened\n"));
}

TEST_F(TechnicalLog, ReplaysTheLastTwentyHeldMessagesInOrder) {
    auto logger = makeLogger(false);
    for (int i = 1; i <= 25; ++i)
        logger->logMessage(u"Held %1"_s.arg(i), 2, false);
    logger->waitUntilIdle();
    EXPECT_EQ(logger->heldMessageCount(), 20);
    EXPECT_FALSE(QFile::exists(fileFor(u"2026-12-05"_s))) << "nothing is written before a delegate";

    logger->setLogDelegate(&delegate);
    logger->waitUntilIdle();
    QStringList expected;
    for (int i = 6; i <= 25; ++i)
        expected.append(line(u"Held %1"_s.arg(i)));
    EXPECT_EQ(linesOf(fileFor(u"2026-12-05"_s)), expected);
    EXPECT_EQ(logger->heldMessageCount(), -1);
}

TEST_F(TechnicalLog, ReportsAnUnwritableFolderOnceUntilTheFolderChanges) {
    defaults->setValue(NVSLogController::TechnicalLogFolderPathKey, QString(temp.path() + u"/missing"_s));
    auto logger = makeLogger();
    logger->logMessage(u"One"_s, 2, true);
    logger->logMessage(u"Two"_s, 2, false);
    logger->waitUntilIdle();

    const QList<QVariantMap> reports = failureReports();
    ASSERT_EQ(reports.size(), 1);
    const QVariantMap& report = reports.first();
    EXPECT_EQ(report.value(u"message"_s).toString(),
              u"Error: Failed to write technical logs to '%1/missing'"_s.arg(temp.path()));
    EXPECT_TRUE(report.value(u"show"_s).toBool()) << "show of the message whose write failed";
    EXPECT_FALSE(report.value(u"notifyRemotes"_s).toBool());

    defaults->setValue(NVSLogController::TechnicalLogFolderPathKey,
                       QString(temp.path() + u"/still-missing"_s));
    logger->logMessage(u"Three"_s, 2, false);
    logger->logMessage(u"Four"_s, 2, false);
    logger->waitUntilIdle();
    EXPECT_EQ(failureReports().size(), 2);
}

// Fault guarded: a write that the disk cut short (ENOSPC) lost the line without a word.
TEST_F(TechnicalLog, ReportsALineThatTheFullDiskCutShort) {
    if (!QFileInfo(u"/dev/full"_s).isWritable())
        GTEST_SKIP() << "no writable /dev/full on this machine";
    // Today's file is a link to a device that is always full. Today is the real day, so that the
    // clean-up does not take the device's age for the file's and remove the link first.
    const QDateTime today = QDateTime::currentDateTime();
    setTime(today);
    ASSERT_TRUE(QFile::link(u"/dev/full"_s, fileFor(today.toString(u"yyyy-MM-dd"_s))));
    auto logger = makeLogger();
    logger->logMessage(u"Lost"_s, 2, true);
    logger->waitUntilIdle();
    const QList<QVariantMap> reports = failureReports();
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(reports.first().value(u"message"_s).toString(),
              u"Error: Failed to write technical logs to '%1'"_s.arg(folder));
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
    logger->logMessage(u"First line of the file"_s, 2, false);
    slow.entered.acquire();
    logger->setLogDelegate(nullptr);
    slow.removed = true;
    logger->waitUntilIdle();
    EXPECT_FALSE(slow.calledAfterRemoval);
}

// Shown messages go to the delegate; critical ones are also posted as user notifications.
TEST_F(TechnicalLog, ShowsMessagesAndPostsCriticalOnesAsUserNotificationsUnlessRefused) {
    auto logger = makeLogger();
    logger->logMessage(u"Quiet"_s, 2, false);
    logger->logMessage(u"Saved"_s, u"Scores.graflink"_s, 2, true);
    const QList<QVariantMap> shown = delegate.displayed();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].value(u"message"_s).toString(), u"Saved (Document: Scores.graflink)"_s);
    EXPECT_EQ(shown[0].value(u"origin"_s).toInt(), 7);
    EXPECT_TRUE(shown[0].value(u"notifyRemotes"_s).toBool());

    ASSERT_TRUE(logger->canDisplayNotifications());
    logger->logMessage(u"Feed lost"_s, 0, true);
    logger->logMessage(u"Not shown"_s, 0, false);
    logger->logMessage(u"Only a problem"_s, 1, true);
    logger->logMessage(u"Upgrade"_s, 0, u"New version"_s, u"UpgradeNotification"_s, true);
    const auto posted = notifications->postedRequests();
    ASSERT_EQ(posted.size(), 2);
    EXPECT_EQ(posted[0].body, u"Feed lost"_s);
    EXPECT_EQ(posted[0].categoryIdentifier, u"WarningNotification"_s);
    EXPECT_EQ(posted[0].identifier.size(), 36);
    EXPECT_EQ(posted[1].title, u"New version"_s);
    EXPECT_EQ(posted[1].categoryIdentifier, u"UpgradeNotification"_s);

    // Refused when asked: nothing is posted, and the line is still written.
    notifications = std::make_shared<RecordingNotificationCenter>(
        platform::NotificationAuthorizationStatus::NotDetermined);
    notifications->grantOnRequest = false;
    auto refused = makeLogger();
    EXPECT_EQ(notifications->requestedOptions, -1) << "asked before anything was to be posted";
    EXPECT_FALSE(refused->canDisplayNotifications());
    EXPECT_EQ(notifications->requestedOptions, 7);
    refused->logMessage(u"Feed gone"_s, 0, true);
    refused->waitUntilIdle();
    EXPECT_TRUE(notifications->postedRequests().isEmpty());
    EXPECT_TRUE(linesOf(fileFor(u"2026-12-05"_s)).contains(line(u"Feed gone"_s, true)));
}

TEST_F(TechnicalLog, CleansUpOnlyOldFilesCarryingThePrefix) {
    auto logger = makeLogger();
    testing_support::writeFile(folder + u"/Graflink 2026-10-01.log"_s, "old");
    testing_support::writeFile(folder + u"/Graflink 2026-10-01_sessions.log"_s, "old side file");
    testing_support::writeFile(folder + u"/Notes.log"_s, "not ours");
    testing_support::writeFile(folder + u"/Graflink archive/keep.log"_s, "kept");

    logger->cleanupOldTechnicalLogFiles();
    EXPECT_TRUE(QFile::exists(folder + u"/Graflink 2026-10-01.log"_s)) << "younger than 30 days";

    setTime(QDateTime::currentDateTime().addDays(31));
    logger->cleanupOldTechnicalLogFiles();
    EXPECT_FALSE(QFile::exists(folder + u"/Graflink 2026-10-01.log"_s));
    EXPECT_FALSE(QFile::exists(folder + u"/Graflink 2026-10-01_sessions.log"_s));
    EXPECT_TRUE(QFile::exists(folder + u"/Notes.log"_s));
    // A folder that happens to carry the prefix is the user's, not a log file.
    EXPECT_TRUE(QFile::exists(folder + u"/Graflink archive/keep.log"_s));
}

TEST_F(TechnicalLog, KeepsEveryLineFromConcurrentCallers) {
    auto logger = makeLogger();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&logger, t] {
            for (int i = 0; i < 250; ++i)
                logger->logMessage(u"thread %1 message %2"_s.arg(t).arg(i), 2, false);
        });
    for (auto& thread : threads)
        thread.join();
    logger->waitUntilIdle();
    const QStringList lines = linesOf(fileFor(u"2026-12-05"_s));
    EXPECT_EQ(lines.size(), 1000);
    // Per thread, lines keep their call order.
    for (int t = 0; t < 4; ++t) {
        int expected = 0;
        for (const QString& text : lines)
            if (text.contains(u"thread %1 "_s.arg(t))) {
                EXPECT_TRUE(text.endsWith(u"message %1"_s.arg(expected++)));
            }
        EXPECT_EQ(expected, 250);
    }
}

} // namespace

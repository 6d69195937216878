#pragma once

#include "appbase/NVSLogControllerDelegate.h"
#include "platform/StringFormat.h"

#include <QDateTime>
#include <QMetaObject>
#include <QString>
#include <QVariantMap>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>
#include <vector>

namespace platform {
class DatePatternFormatter;
class SerialExecutor;
class UserDefaults;
class UserNotificationCenter;
} // namespace platform
class LogFileAppender;
struct LogEntry;
class LogNotifications;

/// The technical log: daily files "<bundle name> y-MM-dd.log" in the folder of the user default
/// "technicalLogFolderPath", lines filtered by "technicalLogLevel", runs of identical lines
/// folded into a repeat line, files older than 30 days removed, shown messages handed to the
/// delegate and critical ones posted as user notifications. Side files get plain lines.
///
/// Every logging operation may be called from any thread and never waits for the disk: lines
/// are written in call order on the "com.norvanemedia.technicalLog" queue, which keeps the day's
/// file open (LogFileAppender). Time stamps are taken on the caller's thread. Passwords in addresses are
/// masked (platform::RedactedText) in everything the log writes or shows.
class NVSLogController {
  public:
    struct Configuration {
        platform::UserDefaults* defaults = nullptr;
        /// `CFBundleName`: the log prefix is this followed by a blank.
        QString bundleName;
        std::shared_ptr<platform::UserNotificationCenter> notificationCenter;
        /// The time of a call; tests move it to another day.
        std::function<QDateTime()> clock;
    };

    static inline const QString TechnicalLogLevelKey = QStringLiteral("technicalLogLevel");
    static inline const QString TechnicalLogFolderPathKey = QStringLiteral("technicalLogFolderPath");
    static constexpr int HeldMessageLimit = 20;
    static constexpr qint64 MaximumLogFileAgeSeconds = 2'592'000;

    /// The one logger of the process, over the standard user defaults; created on first use,
    /// thread-safely, and never destroyed.
    static NVSLogController& sharedLogController();
    /// Registers "technicalLogLevel" = 2 in the registration domain.
    static void registerDefaults(platform::UserDefaults& defaults);

    explicit NVSLogController(Configuration configuration);
    ~NVSLogController();
    NVSLogController(const NVSLogController&) = delete;
    NVSLogController& operator=(const NVSLogController&) = delete;

    // Logging
    template <typename... Args>
    void logMessageWithLevel(qint64 level, bool show, const QString& messageFormat, const Args&... args) {
        logMessage(platform::StringFormat::format(messageFormat, args...), level, show);
    }
    void logMessage(const std::optional<QString>& message, const std::optional<QString>& documentName,
                    qint64 level, bool show);
    void logMessage(const std::optional<QString>& message, const std::optional<QString>& documentName,
                    qint64 level, bool show, bool notifyRemotes);
    void logMessage(const std::optional<QString>& message, qint64 level, bool show);
    void logMessage(const std::optional<QString>& message, qint64 level,
                    const std::optional<QString>& userNotificationTitle,
                    const std::optional<QString>& userNotificationCategory, bool show);
    void logWithInfoDict(const QVariantMap& infoDict);
    void writeStringToTechnicalLog(const QString& text, bool isProblem, qint64 logLevel, bool show);
    void writeStringToTechnicalLog(const QString& text, bool isProblem, qint64 logLevel, bool show,
                                   bool logInConsole);
    void logSimpleMessage(const QString& text, const QString& toFileWithName);
    /// Removes files of the log folder that carry the prefix and are older than 30 days.
    /// Runs on the calling thread.
    void cleanupOldTechnicalLogFiles();

    // User notifications
    void displayNotification(const QString& title, const QString& message);
    void displayNotification(const QString& title, const QString& message,
                             const std::optional<QString>& categoryIdentifier);

    // Delegate
    /// When it returns, no call of the previous delegate is in progress on any thread (the log
    /// queue's included) and none will start: the caller may destroy it. Delegate calls
    /// therefore must not wait for the logger (waitUntilIdle, setLogDelegate).
    void setLogDelegate(NVSLogControllerDelegate* delegate);
    NVSLogControllerDelegate* delegate() const { return m_delegate.load(); }

    // Properties
    QString logPrefix() const { return m_logPrefix; }
    QString technicalLogFolderPath() const;
    void setTechnicalLogFolderPath(const QString& path);
    qint64 technicalLogLevel() const { return m_technicalLogLevel.load(); }
    void setTechnicalLogLevel(qint64 level) { m_technicalLogLevel.store(level); }
    std::optional<QString> lastTechnicalLogFilePath() const;
    std::optional<QString> lastTechnicalLogMessage() const;
    bool canDisplayNotifications() const;
    /// Number of messages held for a delegate that is not set yet; -1 once they were replayed.
    int heldMessageCount() const;

    /// Called on the file queue with every block of lines written to the technical log (the
    /// command line's --verbose echo). Set before logging starts.
    void setLineObserver(std::function<void(const QString& lines)> observer);
    /// Blocks until every queued line, side-file line and clean-up has been written.
    void waitUntilIdle();

  private:
    struct PendingLine;
    /// The delegate, held for the length of one call: setLogDelegate waits until it ends.
    class DelegateCall {
      public:
        explicit DelegateCall(NVSLogController& logger) : m_logger(logger) {
            m_logger.m_delegateSemaphore.acquire();
        }
        ~DelegateCall() { m_logger.m_delegateSemaphore.release(); }
        DelegateCall(const DelegateCall&) = delete;
        DelegateCall& operator=(const DelegateCall&) = delete;
        NVSLogControllerDelegate* delegate() const { return m_logger.m_delegate.load(); }

      private:
        NVSLogController& m_logger;
    };
    void log(const LogEntry& entry, const QVariantMap* infoDict);
    void writeLine(const PendingLine& line);
    /// Writes the lines gathered since the last time, on the file queue.
    void writeGatheredLines();
    void appendToFile(const QString& path, const QByteArray& bytes, bool reportFailure, bool show);
    /// A descriptor open for appending to `nativePath`: the one kept from the last line while it
    /// still names a file there, else a new one; -1 when it cannot be opened.
    void reportWriteFailure(bool show);
    QString stamp(qint64 time) const;
    void observeDefaults();

    platform::UserDefaults* m_defaults;
    std::unique_ptr<LogNotifications> m_notifications;
    std::function<qint64()> m_clock; // milliseconds since the epoch
    const QString m_logPrefix;

    std::atomic<NVSLogControllerDelegate*> m_delegate{nullptr};
    std::counting_semaphore<> m_delegateSemaphore{1};
    mutable std::recursive_mutex m_messageArrayMutex;
    std::optional<QList<QVariantMap>> m_messageArray{QList<QVariantMap>()};

    mutable std::mutex m_propertyMutex;
    QString m_technicalLogFolderPath;
    std::optional<QString> m_lastTechnicalLogFilePath;
    std::optional<QString> m_lastTechnicalLogMessage;
    std::atomic<qint64> m_technicalLogLevel{2};
    quint64 m_technicalLogMessageRepeatCount = 0; // file queue only
    /// The file queue's open log file and the time stamps of the current second: a busy rack
    /// process writes hundreds of lines a second, each of which would otherwise open and close
    /// the file and format two dates.
    std::unique_ptr<LogFileAppender> m_logFile; // file queue only
    qint64 m_stampedSecond = -1;                // file queue only
    QString m_secondStamp;                      // file queue only
    QString m_secondFileDate;                   // file queue only
    std::atomic<bool> m_logIfLogFailedToBeWritten{true};
    std::function<void(const QString&)> m_lineObserver;

    std::unique_ptr<platform::DatePatternFormatter> m_logFileDateFormatter;
    std::unique_ptr<platform::DatePatternFormatter> m_logMessageDateFormatter;
    std::unique_ptr<platform::DatePatternFormatter> m_simpleLogMessageDateFormatter;
    std::unique_ptr<platform::SerialExecutor> m_technicalLogQueue;
    /// Lines wait here for a moment so that the file queue wakes once for many of them, not once
    /// a line (a busy rack logs thousands of lines a second).
    std::mutex m_gatheredLinesMutex;
    std::vector<PendingLine> m_gatheredLines; // guarded by m_gatheredLinesMutex
    /// Wakes a gathering batch early: someone waits for the lines to be written.
    std::condition_variable m_flushRequested;
    int m_flushWaiters = 0; // guarded by m_gatheredLinesMutex
    std::unique_ptr<platform::SerialExecutor> m_simpleLogWriterQueue;
    std::unique_ptr<platform::SerialExecutor> m_cleanupQueue;
    QMetaObject::Connection m_defaultsConnection;
};

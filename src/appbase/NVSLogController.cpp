#include "appbase/NVSLogController.h"

#include "appbase/LogEntry.h"
#include "appbase/LogFileAppender.h"
#include "appbase/LogNotifications.h"
#include "appbase/TechnicalLogFolder.h"
#include "platform/BundleInfo.h"
#include "platform/ConsoleLog.h"
#include "platform/DatePatternFormatter.h"
#include "platform/RedactedText.h"
#include "platform/SerialExecutor.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotificationCenter.h"

#include <QDir>
#include <QFileInfo>
#include <cstdlib>

using platform::ConsoleLog;

namespace {
// The platform converted paths into a fixed buffer; longer paths were never written.
constexpr qsizetype FileSystemPathBufferSize = 1024;

bool fileSystemPath(const QString& path, QByteArray* out) {
    *out = QFile::encodeName(path);
    return out->size() < FileSystemPathBufferSize;
}
} // namespace

namespace {

constexpr std::chrono::milliseconds LineGatheringTime{5};

} // namespace

struct NVSLogController::PendingLine {
    qint64 time; // milliseconds since the epoch: cheap to take on the caller's thread
    QString text;
    bool isProblem;
    qint64 level;
    bool show;
};

NVSLogController& NVSLogController::sharedLogController() {
    // Never destroyed: messages may arrive from any thread until the process ends.
    static NVSLogController* shared =
        new NVSLogController(Configuration{&platform::UserDefaults::standardUserDefaults(),
                                           platform::BundleInfo::bundleName(),
                                           platform::UserNotificationCenter::current(),
                                           {}});
    // Lines still gathered when the process exits (the program's last words) reach the file.
    static const bool flushesAtExit = std::atexit([] { shared->waitUntilIdle(); }) == 0;
    Q_UNUSED(flushesAtExit);
    return *shared;
}

void NVSLogController::registerDefaults(platform::UserDefaults& defaults) {
    defaults.registerDefaults({{TechnicalLogLevelKey, 2}});
}

NVSLogController::NVSLogController(Configuration configuration)
    : m_defaults(configuration.defaults),
      m_notifications(std::make_unique<LogNotifications>(std::move(configuration.notificationCenter))),
      m_clock(configuration.clock
                  ? std::function<qint64()>(
                        [clock = std::move(configuration.clock)] { return clock().toMSecsSinceEpoch(); })
                  : std::function<qint64()>([] { return QDateTime::currentMSecsSinceEpoch(); })),
      m_logPrefix(configuration.bundleName + QLatin1Char(' ')) {
    if (m_defaults) {
        registerDefaults(*m_defaults);
        if (auto folder = m_defaults->stringForKey(TechnicalLogFolderPathKey))
            m_technicalLogFolderPath = *folder;
        m_technicalLogLevel = m_defaults->integerForKey(TechnicalLogLevelKey);
    }
    m_logFile = std::make_unique<LogFileAppender>();
    m_technicalLogQueue =
        std::make_unique<platform::SerialExecutor>(QStringLiteral("com.norvanemedia.technicalLog"));
    m_simpleLogWriterQueue =
        std::make_unique<platform::SerialExecutor>(QStringLiteral("com.norvanemedia.simpleLogWriterQueue"));
    m_cleanupQueue = std::make_unique<platform::SerialExecutor>(QStringLiteral("technicalLogCleanup"));
    m_logFileDateFormatter = std::make_unique<platform::DatePatternFormatter>(QStringLiteral("y-MM-dd"));
    m_logMessageDateFormatter =
        std::make_unique<platform::DatePatternFormatter>(QStringLiteral("y-MM-dd\tHH:mm:ss\tEEEE"));
    m_simpleLogMessageDateFormatter =
        std::make_unique<platform::DatePatternFormatter>(QStringLiteral("y-MM-dd\tHH:mm:ss\t"));
    observeDefaults();
}

NVSLogController::~NVSLogController() {
    QObject::disconnect(m_defaultsConnection);
    waitUntilIdle();
    // The file queue stops first, while what its last line may use (the clean-up queue, the file,
    // the date formats) is still there: a line logged from another thread during the teardown.
    m_technicalLogQueue.reset();
}

void NVSLogController::observeDefaults() {
    if (!m_defaults)
        return;
    // Direct connection: the change is taken on the changing thread; the handler only touches
    // guarded state.
    m_defaultsConnection = QObject::connect(
        m_defaults, &platform::UserDefaults::valueChanged, [this](const QString& key, const QVariant& value) {
            if (key == TechnicalLogFolderPathKey) {
                m_logIfLogFailedToBeWritten = true;
                setTechnicalLogFolderPath(value.toString());
                ConsoleLog::write(platform::StringFormat::format(QStringLiteral("New technical log path %@"),
                                                                 value.toString()));
            } else if (key == TechnicalLogLevelKey) {
                m_technicalLogLevel = value.toLongLong();
                ConsoleLog::write(platform::StringFormat::format(
                    QStringLiteral("New Technical Log level %li"), m_technicalLogLevel.load()));
            }
        });
}

// MARK: - Logging entry points

void NVSLogController::logMessage(const std::optional<QString>& message,
                                  const std::optional<QString>& documentName, qint64 level, bool show) {
    logMessage(message, documentName, level, show, true);
}

void NVSLogController::logMessage(const std::optional<QString>& message,
                                  const std::optional<QString>& documentName, qint64 level, bool show,
                                  bool /*notifyRemotes*/) {
    if (message && documentName) {
        logMessage(
            platform::StringFormat::format(QStringLiteral("%@ (Document: %@)"), *message, *documentName),
            level, show);
        return;
    }
    logMessage(message, level, show);
}

void NVSLogController::logMessage(const std::optional<QString>& message, qint64 level, bool show) {
    logMessage(message, level, std::nullopt, std::nullopt, show);
}

void NVSLogController::logMessage(const std::optional<QString>& message, qint64 level,
                                  const std::optional<QString>& userNotificationTitle,
                                  const std::optional<QString>& userNotificationCategory, bool show) {
    if (!message)
        return;
    // The dictionary is built only when a delegate will see it.
    log(LogEntry{platform::RedactedText::fromText(*message), level, show, userNotificationTitle,
                 userNotificationCategory},
        nullptr);
}

void NVSLogController::logWithInfoDict(const QVariantMap& infoDict) {
    LogEntry entry = LogEntry::fromInfoDict(infoDict);
    entry.message = platform::RedactedText::fromText(entry.message);
    QVariantMap shown = infoDict;
    shown.insert(LogEntry::MessageKey, entry.message);
    log(entry, &shown);
}

void NVSLogController::log(const LogEntry& entry, const QVariantMap* infoDict) {
    // Read before the delegate lock: setLogDelegate holds the array's lock while it replays held
    // messages through here, so taking the array's lock under the delegate lock could deadlock.
    bool holding;
    {
        std::lock_guard lock(m_messageArrayMutex);
        holding = m_messageArray.has_value();
    }
    m_delegateSemaphore.acquire();
    if (NVSLogControllerDelegate* delegate = m_delegate.load()) {
        if (entry.show && !delegate->displayLogWithInfoDict(infoDict ? *infoDict : entry.infoDict()))
            delegate->displayLogMessage(entry.message, entry.level);
        writeStringToTechnicalLog(entry.message, entry.level < 2, entry.level, entry.show, !holding);
        m_delegateSemaphore.release();
    } else {
        m_delegateSemaphore.release();
        {
            std::lock_guard lock(m_messageArrayMutex);
            if (m_messageArray) {
                if (m_messageArray->size() >= HeldMessageLimit)
                    m_messageArray->removeFirst();
                m_messageArray->append(entry.heldMessage());
            }
        }
        ConsoleLog::write(entry.message);
    }

    if (entry.level == 0 && entry.show)
        displayNotification(entry.userNotificationTitle.value_or(QStringLiteral("Critical Error")),
                            entry.message, entry.userNotificationCategory);
}

void NVSLogController::writeStringToTechnicalLog(const QString& text, bool isProblem, qint64 logLevel,
                                                 bool show) {
    writeStringToTechnicalLog(text, isProblem, logLevel, show, true);
}

void NVSLogController::writeStringToTechnicalLog(const QString& text, bool isProblem, qint64 logLevel,
                                                 bool show, bool /*logInConsole*/) {
    if (logLevel > m_technicalLogLevel.load())
        return; // not written: neither redacted nor handed to the file queue
    PendingLine line{m_clock(), platform::RedactedText::fromText(text), isProblem, logLevel, show};
    bool first = false;
    {
        std::lock_guard lock(m_gatheredLinesMutex);
        first = m_gatheredLines.empty();
        m_gatheredLines.push_back(std::move(line));
    }
    if (first)
        m_technicalLogQueue->async([this] { writeGatheredLines(); });
}

void NVSLogController::writeGatheredLines() {
    // The lines logged meanwhile join this batch instead of waking the queue each, unless
    // someone waits for them (a command ending, a test reading the file).
    std::vector<PendingLine> lines;
    {
        std::unique_lock lock(m_gatheredLinesMutex);
        m_flushRequested.wait_for(lock, LineGatheringTime, [this] { return m_flushWaiters > 0; });
        lines.swap(m_gatheredLines);
    }
    for (const PendingLine& line : lines)
        writeLine(line);
}

// MARK: - The file queue

QString NVSLogController::stamp(qint64 time) const {
    return m_logMessageDateFormatter->format(time);
}

void NVSLogController::writeLine(const PendingLine& line) {
    if (line.level > m_technicalLogLevel.load())
        return;
    const qint64 second = line.time >= 0 ? line.time / 1000 : (line.time - 999) / 1000;
    if (second != m_stampedSecond) {
        m_stampedSecond = second;
        m_secondStamp = stamp(line.time);
        m_secondFileDate = m_logFileDateFormatter->format(line.time);
    }
    const QString& lineStamp = m_secondStamp;
    QString buffer;
    if (line.isProblem)
        buffer += QLatin1Char('!');
    buffer += QLatin1Char('\t') + lineStamp + QLatin1Char('\t') + QLatin1Char('\t') + line.text +
              QStringLiteral("\r\n");

    const auto repeatLine = [&](quint64 count) {
        return platform::StringFormat::format(
            QStringLiteral("\t%@\t\t--- last message repeated %lu time%s ---\r\n"), lineStamp, count,
            count >= 2 ? "s" : "");
    };

    const QString folder = technicalLogFolderPath();
    const QString path = folder + QLatin1Char('/') + m_logPrefix + m_secondFileDate + QStringLiteral(".log");
    std::optional<QString> lastPath;
    std::optional<QString> lastMessage;
    {
        std::lock_guard lock(m_propertyMutex);
        lastPath = m_lastTechnicalLogFilePath;
        lastMessage = m_lastTechnicalLogMessage;
    }

    if (lastPath && path == *lastPath) {
        if (lastMessage && line.text == *lastMessage) {
            ++m_technicalLogMessageRepeatCount;
            return;
        }
        if (m_technicalLogMessageRepeatCount > 0) {
            buffer.prepend(repeatLine(m_technicalLogMessageRepeatCount));
            m_technicalLogMessageRepeatCount = 0;
        }
        std::lock_guard lock(m_propertyMutex);
        m_lastTechnicalLogMessage = line.text;
    } else {
        if (m_technicalLogMessageRepeatCount > 0) {
            if (lastPath)
                appendToFile(*lastPath, repeatLine(m_technicalLogMessageRepeatCount).toUtf8(), false,
                             line.show);
            m_technicalLogMessageRepeatCount = 0;
        }
        std::optional<QString> initial;
        {
            DelegateCall call(*this);
            if (call.delegate())
                initial = call.delegate()->initialLogMessage();
        }
        if (initial && !initial->isEmpty())
            buffer.prepend(QLatin1Char('\t') + lineStamp + QStringLiteral("\t\t") + *initial +
                           QStringLiteral("\r\n"));
        {
            std::lock_guard lock(m_propertyMutex);
            m_lastTechnicalLogMessage.reset();
            m_lastTechnicalLogFilePath = path;
        }
        m_cleanupQueue->async([this] { cleanupOldTechnicalLogFiles(); });
    }

    appendToFile(path, buffer.toUtf8(), true, line.show);
    if (m_lineObserver)
        m_lineObserver(buffer);
}

void NVSLogController::appendToFile(const QString& path, const QByteArray& bytes, bool reportFailure,
                                    bool show) {
    QByteArray nativePath;
    if (!fileSystemPath(path, &nativePath))
        return;
    if (!m_logFile->append(nativePath, bytes, m_stampedSecond) && reportFailure)
        reportWriteFailure(show);
}

void NVSLogController::reportWriteFailure(bool show) {
    if (!m_logIfLogFailedToBeWritten.exchange(false))
        return;
    const QString message = platform::StringFormat::format(
        QStringLiteral("Error: Failed to write technical logs to '%@'"), technicalLogFolderPath());
    ConsoleLog::write(message);
    DelegateCall call(*this);
    if (NVSLogControllerDelegate* delegate = call.delegate()) {
        delegate->displayLogWithInfoDict({
            {LogEntry::MessageKey, message},
            {QStringLiteral("origin"), LogEntry::OriginValue},
            {QStringLiteral("identifier"), QString()},
            {LogEntry::LevelKey, 0},
            {LogEntry::ShowKey, show},
            {QStringLiteral("notifyRemotes"), false},
            {QStringLiteral("sourceUniqueID"), QString()},
        });
    }
}

void NVSLogController::logSimpleMessage(const QString& text, const QString& toFileWithName) {
    const qint64 time = m_clock();
    m_simpleLogWriterQueue->async(
        [this, time, text = platform::RedactedText::fromText(text), name = toFileWithName] {
            const QString path = technicalLogFolderPath() + QLatin1Char('/') + m_logPrefix +
                                 m_logFileDateFormatter->format(time) + QLatin1Char('_') + name +
                                 QStringLiteral(".log");
            const QString line =
                m_simpleLogMessageDateFormatter->format(time) + QLatin1Char('\t') + text + QLatin1Char('\n');
            QByteArray nativePath;
            if (fileSystemPath(path, &nativePath))
                LogFileAppender::appendOnce(nativePath, line.toUtf8());
        });
}

void NVSLogController::cleanupOldTechnicalLogFiles() {
    TechnicalLogFolder::removeOldFiles(technicalLogFolderPath(), m_logPrefix,
                                       QDateTime::fromMSecsSinceEpoch(m_clock()), MaximumLogFileAgeSeconds);
}

// MARK: - User notifications

void NVSLogController::displayNotification(const QString& title, const QString& message) {
    m_notifications->display(title, message, std::nullopt);
}

void NVSLogController::displayNotification(const QString& title, const QString& message,
                                           const std::optional<QString>& categoryIdentifier) {
    m_notifications->display(title, message, categoryIdentifier);
}

bool NVSLogController::canDisplayNotifications() const {
    return m_notifications->canDisplay();
}

// MARK: - Delegate and held messages

void NVSLogController::setLogDelegate(NVSLogControllerDelegate* delegate) {
    m_delegateSemaphore.acquire();
    m_delegate = delegate;
    m_delegateSemaphore.release();
    if (!delegate)
        return;
    std::lock_guard lock(m_messageArrayMutex);
    if (!m_messageArray)
        return;
    // Replayed while the array still exists, so they carry the console flag NO. The array's
    // lock is recursive: each replayed message looks at the array again.
    const QList<QVariantMap> held = *m_messageArray;
    for (const QVariantMap& entry : held)
        logMessage(entry.value(LogEntry::MessageKey).toString(), entry.value(LogEntry::LevelKey).toLongLong(),
                   entry.value(LogEntry::ShowKey).toBool());
    m_messageArray.reset();
}

// MARK: - Properties

QString NVSLogController::technicalLogFolderPath() const {
    std::lock_guard lock(m_propertyMutex);
    return m_technicalLogFolderPath;
}

void NVSLogController::setTechnicalLogFolderPath(const QString& path) {
    std::lock_guard lock(m_propertyMutex);
    m_technicalLogFolderPath = path;
}

std::optional<QString> NVSLogController::lastTechnicalLogFilePath() const {
    std::lock_guard lock(m_propertyMutex);
    return m_lastTechnicalLogFilePath;
}

std::optional<QString> NVSLogController::lastTechnicalLogMessage() const {
    std::lock_guard lock(m_propertyMutex);
    return m_lastTechnicalLogMessage;
}

int NVSLogController::heldMessageCount() const {
    std::lock_guard lock(m_messageArrayMutex);
    return m_messageArray ? static_cast<int>(m_messageArray->size()) : -1;
}

void NVSLogController::setLineObserver(std::function<void(const QString&)> observer) {
    m_technicalLogQueue->sync([&] { m_lineObserver = std::move(observer); });
}

void NVSLogController::waitUntilIdle() {
    {
        std::lock_guard lock(m_gatheredLinesMutex);
        ++m_flushWaiters;
    }
    m_flushRequested.notify_all();
    m_technicalLogQueue->waitUntilIdle();
    {
        std::lock_guard lock(m_gatheredLinesMutex);
        --m_flushWaiters;
    }
    m_simpleLogWriterQueue->waitUntilIdle();
    m_cleanupQueue->waitUntilIdle();
}

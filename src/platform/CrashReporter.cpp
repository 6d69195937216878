#include "platform/CrashReporter.h"

#include "platform/AtomicFile.h"
#include "platform/BundleInfo.h"
#include "platform/StandardPaths.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cxxabi.h>
#include <execinfo.h>
#include <fcntl.h>
#include <iterator>
#include <string>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace platform {

/// What a report needs besides its cause, prepared outside signal context. Immutable once
/// published to the handlers.
struct CrashReportText {
    std::string pathPrefix; ///< "<reports folder>/<appName>-"
    std::string header;     ///< app, version, release stage
    std::string metadata;   ///< the on-send-error blocks' metadata, rendered
    bool dropped = false;   ///< a block declined: signal and terminate reports are not written
};

namespace {

struct FatalSignal {
    int number;
    const char* name;
    const char* description; // strsignal() may allocate: the handler has words of its own
};
constexpr FatalSignal FatalSignals[] = {
    {SIGSEGV, "SIGSEGV", "Segmentation fault"},
    {SIGBUS, "SIGBUS", "Bus error"},
    {SIGILL, "SIGILL", "Illegal instruction"},
    {SIGFPE, "SIGFPE", "Floating-point exception"},
    {SIGABRT, "SIGABRT", "Aborted"},
    {SIGTRAP, "SIGTRAP", "Trace/breakpoint trap"},
};
constexpr size_t AlternateStackSize = 64 * 1024;
constexpr size_t MaxBacktraceFrames = 128;

// The handlers' view: the armed reporter's text and how far the one fatal report has come. The
// state only moves forward (Idle → Writing → Written): after a fatal report the process dies.
enum HandlerState : int { Idle, Writing, Written };
std::atomic<CrashReportText*> g_armedText{nullptr};
std::atomic<int> g_state{Idle};
std::atomic<pid_t> g_writingThread{0};
std::atomic<std::terminate_handler> g_previousTerminate{nullptr};

// Installation, outside signal context only.
std::mutex g_installMutex;
bool g_installed = false;
struct sigaction g_previousActions[std::size(FatalSignals)];

/// Text built on the stack in signal context: no allocation; what does not fit is cut.
template <size_t Capacity> class FixedText {
  public:
    FixedText& add(const char* text, size_t length) {
        const size_t room = Capacity - 1 - m_size;
        const size_t n = std::min(length, room);
        std::memcpy(m_data + m_size, text, n);
        m_size += n;
        m_data[m_size] = '\0';
        m_complete = m_complete && n == length;
        return *this;
    }
    FixedText& add(const char* text) { return add(text, std::strlen(text)); }
    FixedText& add(const std::string& text) { return add(text.data(), text.size()); }
    FixedText& addDecimal(unsigned long long value) {
        char digits[24];
        size_t n = 0;
        do {
            digits[sizeof digits - 1 - n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        return add(digits + sizeof digits - n, n);
    }
    FixedText& addHex(uintptr_t value) {
        char digits[2 + 2 * sizeof value];
        size_t n = 0;
        do {
            digits[sizeof digits - 1 - n++] = "0123456789abcdef"[value & 0xf];
            value >>= 4;
        } while (value != 0);
        add("0x");
        return add(digits + sizeof digits - n, n);
    }
    const char* data() const { return m_data; }
    size_t size() const { return m_size; }
    bool complete() const { return m_complete; }

  private:
    char m_data[Capacity] = {};
    size_t m_size = 0;
    bool m_complete = true;
};

using PathText = FixedText<PATH_MAX>;

bool writeAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

/// Writes one report: the prepared header, the process, `cause`, the calling thread's backtrace
/// and `metadata`, under a temporary name that is renamed once the file is complete and flushed.
/// Async-signal-safe. Returns whether the report was written; `path` receives its name.
bool writeReport(const CrashReportText& text, const char* cause, size_t causeLength, const char* metadata,
                 size_t metadataLength, PathText& path) {
    const unsigned long long pid = static_cast<unsigned long long>(::getpid());
    const unsigned long long now = static_cast<unsigned long long>(::time(nullptr));
    // Handled exceptions may come several in one second: later ones get a counter.
    for (unsigned n = 0;; ++n) {
        path = PathText();
        path.add(text.pathPrefix).addDecimal(now).add("-").addDecimal(pid);
        if (n > 0)
            path.add("-").addDecimal(n);
        path.add(".crash");
        if (!path.complete() || n > 99)
            return false;
        if (::access(path.data(), F_OK) != 0)
            break;
    }
    PathText partial;
    partial.add(path.data(), path.size()).add(".partial");
    if (!partial.complete())
        return false;
    const int fd = ::open(partial.data(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;

    FixedText<128> process;
    process.add("Process: ").addDecimal(pid).add("\nTime: ").addDecimal(now).add("\n");
    bool ok = writeAll(fd, text.header.data(), text.header.size()) &&
              writeAll(fd, process.data(), process.size()) && writeAll(fd, cause, causeLength) &&
              writeAll(fd, "Backtrace:\n", 11);
    if (ok) {
        void* frames[MaxBacktraceFrames];
        const int count = ::backtrace(frames, static_cast<int>(MaxBacktraceFrames));
        ::backtrace_symbols_fd(frames, count, fd);
        ok = writeAll(fd, metadata, metadataLength);
    }
    ok = ::fsync(fd) == 0 && ok;
    ::close(fd);
    if (!ok || ::rename(partial.data(), path.data()) != 0) {
        ::unlink(partial.data());
        return false;
    }
    return true;
}

/// Claims the one fatal report for this thread. False when another thread has claimed it (after
/// waiting a while for that thread to end the process) or this thread already has.
bool claimFatalReport() {
    int expected = Idle;
    if (g_state.compare_exchange_strong(expected, Writing)) {
        g_writingThread.store(::gettid());
        return true;
    }
    if (expected == Writing && g_writingThread.load() != ::gettid()) {
        for (int i = 0; i < 500 && g_state.load() == Writing; ++i) {
            const timespec pause{0, 10'000'000};
            ::nanosleep(&pause, nullptr);
        }
    }
    return false;
}

void onFatalSignal(int signal, siginfo_t* info, void*) {
    if (claimFatalReport()) {
        const CrashReportText* text = g_armedText.load();
        if (text && !text->dropped) {
            FixedText<256> cause;
            const FatalSignal* fatal =
                std::find_if(std::begin(FatalSignals), std::end(FatalSignals),
                             [signal](const FatalSignal& f) { return f.number == signal; });
            cause.add("Error class: ").add(fatal->name).add("\nSignal: ").addDecimal(signal);
            cause.add("\nMessage: ").add(fatal->description).add("\n");
            if (signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE)
                cause.add("Address: ").addHex(reinterpret_cast<uintptr_t>(info->si_addr)).add("\n");
            PathText path;
            writeReport(*text, cause.data(), cause.size(), text->metadata.data(), text->metadata.size(),
                        path);
        }
        g_state.store(Written);
    }
    // Die of the signal, as the process would have without us. The signal stays blocked until
    // the handler returns; a fault then repeats the faulting instruction, either way to the
    // default action.
    struct sigaction defaultAction = {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    ::sigaction(signal, &defaultAction, nullptr);
    ::raise(signal);
}

std::string demangled(const std::type_info* type) {
    if (!type)
        return "unknown exception";
    int status = 0;
    char* name = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    std::string result = status == 0 && name ? name : type->name();
    std::free(name);
    return result;
}

/// The type name and what() of the exception being handled by the caller's catch or by
/// std::terminate.
std::pair<std::string, std::string> describeCurrentException() {
    std::string type = demangled(abi::__cxa_current_exception_type());
    std::string message;
    try {
        throw;
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
    }
    return {std::move(type), std::move(message)};
}

std::string exceptionCause(const std::string& type, const std::string& message) {
    return "Error class: " + type + "\nMessage: " + message + "\n";
}

[[noreturn]] void onTerminate() {
    if (std::current_exception() && claimFatalReport()) {
        const CrashReportText* text = g_armedText.load();
        if (text && !text->dropped) {
            const auto [type, message] = describeCurrentException();
            const std::string cause = exceptionCause(type, message);
            PathText path;
            writeReport(*text, cause.data(), cause.size(), text->metadata.data(), text->metadata.size(),
                        path);
        }
        // The SIGABRT that follows finds the report written and only ends the process.
        g_state.store(Written);
    }
    // The runtime's own handler says on stderr what was thrown, then aborts.
    if (const std::terminate_handler previous = g_previousTerminate.load())
        previous();
    std::abort();
}

void installHandlers() {
    std::lock_guard lock(g_installMutex);
    if (g_installed)
        return;
    stack_t current = {};
    ::sigaltstack(nullptr, &current);
    if ((current.ss_flags & SS_DISABLE) || current.ss_size < AlternateStackSize) {
        // Never freed: a handler may run on it at any time.
        static char* const stack = new char[AlternateStackSize];
        stack_t alternate = {};
        alternate.ss_sp = stack;
        alternate.ss_size = AlternateStackSize;
        ::sigaltstack(&alternate, nullptr);
    }
    // The first backtrace() loads the unwinder, which allocates: do it now, not in a handler.
    void* frames[2];
    ::backtrace(frames, 2);

    struct sigaction action = {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // A fault while the report is written kills the process at once instead of re-entering.
    sigemptyset(&action.sa_mask);
    for (const FatalSignal& fatal : FatalSignals)
        sigaddset(&action.sa_mask, fatal.number);
    for (size_t i = 0; i < std::size(FatalSignals); ++i)
        ::sigaction(FatalSignals[i].number, &action, &g_previousActions[i]);
    g_previousTerminate.store(std::set_terminate(onTerminate));
    g_installed = true;
}

void uninstallHandlers() {
    std::lock_guard lock(g_installMutex);
    if (!g_installed)
        return;
    for (size_t i = 0; i < std::size(FatalSignals); ++i)
        ::sigaction(FatalSignals[i].number, &g_previousActions[i], nullptr);
    std::set_terminate(g_previousTerminate.load());
    g_installed = false;
}

/// Frees a text the handlers no longer point to, unless a handler has begun (it may be reading it;
/// the process is ending anyway). The handler claims the state before it loads the text.
void retire(CrashReportText* text) {
    if (text && g_armedText.load() != text && g_state.load() == Idle)
        delete text;
}

QString valueText(const QVariant& value) {
    const int type = value.typeId();
    if (type == QMetaType::QVariantMap || type == QMetaType::QVariantList || type == QMetaType::QStringList)
        return QString::fromUtf8(QJsonDocument::fromVariant(value).toJson(QJsonDocument::Compact));
    return value.toString();
}

std::string renderMetadata(const CrashEvent& event) {
    if (event.metadata.isEmpty())
        return {};
    QString text = QStringLiteral("Metadata:\n");
    for (auto section = event.metadata.cbegin(); section != event.metadata.cend(); ++section) {
        text += QLatin1Char('[') + section.key() + QStringLiteral("]\n");
        for (auto entry = section->cbegin(); entry != section->cend(); ++entry) {
            // Continuation lines are indented, so a multi-line log cannot pass for a new entry.
            QString value = valueText(entry.value());
            value.replace(QLatin1Char('\n'), QStringLiteral("\n  "));
            text += entry.key() + QStringLiteral(": ") + value + QLatin1Char('\n');
        }
    }
    return text.toStdString();
}

/// The start time of a process in clock ticks since boot (field 22 of /proc/<pid>/stat): it tells
/// a process from a later one with the same number. Empty when unknown.
QByteArray processStartTime(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')'); // the command name may hold spaces
    if (end < 0)
        return {};
    const QList<QByteArray> fields = line.mid(end + 2).split(' ');
    return fields.size() > 19 ? fields.at(19) : QByteArray();
}

/// Whether the process that wrote a marker still runs.
bool markerProcessIsAlive(qint64 pid, const QString& markerPath) {
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return false;
    QFile marker(markerPath);
    const QByteArray recorded = marker.open(QIODevice::ReadOnly) ? marker.readAll().trimmed() : QByteArray();
    const QByteArray current = processStartTime(pid);
    return recorded.isEmpty() || current.isEmpty() || recorded == current;
}

const QString MarkerSuffix = QStringLiteral(".running");

/// Removes the markers of runs of `appName` whose process is gone; returns whether there was one.
bool removeStaleMarkers(const QString& folder, const QString& appName) {
    const QString prefix = appName + QLatin1Char('.');
    bool found = false;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
        if (!name.startsWith(prefix) || !name.endsWith(MarkerSuffix))
            continue;
        bool isNumber = false;
        const qint64 pid = QStringView(name)
                               .mid(prefix.size(), name.size() - prefix.size() - MarkerSuffix.size())
                               .toLongLong(&isNumber);
        if (!isNumber || pid <= 0)
            continue;
        const QString path = dir.filePath(name);
        if (markerProcessIsAlive(pid, path)) // our own from an earlier start(), or another instance
            continue;
        found = true;
        QFile::remove(path);
    }
    return found;
}

} // namespace

void CrashEvent::addMetadata(const QVariant& value, const QString& key, const QString& section) {
    metadata[section].insert(key, value);
}

void CrashReporterConfiguration::addOnSendError(std::function<bool(CrashEvent&)> block) {
    onSendErrorBlocks.push_back(std::move(block));
}

CrashReporterConfiguration CrashReporterConfiguration::loadConfig() {
    CrashReporterConfiguration configuration;
    const QVariantMap& info = BundleInfo::infoDictionary();
    configuration.apiKey =
        info.value(QStringLiteral("bugsnag")).toMap().value(QStringLiteral("apiKey")).toString();
    configuration.appName = BundleInfo::bundleName();
    configuration.appVersion = BundleInfo::shortVersionString();
    configuration.releaseStage = releaseStageForVersion(configuration.appVersion);
    return configuration;
}

QString CrashReporterConfiguration::releaseStageForVersion(const QString& version) {
    if (version.contains(QLatin1Char('b')))
        return QStringLiteral("development");
    if (version.contains(QLatin1String("test")))
        return QStringLiteral("testing");
    return QStringLiteral("production");
}

CrashReporter& CrashReporter::shared() {
    static CrashReporter* const reporter = new CrashReporter();
    return *reporter;
}

CrashReporter::CrashReporter() = default;

CrashReporter::~CrashReporter() {
    stop();
    std::lock_guard lock(m_mutex);
    retire(m_text);
}

void CrashReporter::start(CrashReporterConfiguration configuration) {
    {
        std::lock_guard lock(m_mutex);
        const QString folder = configuration.reportsFolder.isEmpty()
                                   ? StandardPaths::userDiagnosticReportsFolder()
                                   : QDir::cleanPath(configuration.reportsFolder);
        const bool samePlace =
            m_started && folder == m_reportsFolder && configuration.appName == m_configuration.appName;
        if (m_started && !samePlace)
            QFile::remove(markerPath());
        m_configuration = std::move(configuration);
        m_reportsFolder = folder;
        QDir().mkpath(folder);
        const bool crashed = removeStaleMarkers(folder, m_configuration.appName);
        m_lastRunCrashed = (samePlace && m_lastRunCrashed) || crashed;
        AtomicFile::write(markerPath(), processStartTime(::getpid()) + '\n');
        m_started = true;
    }
    refreshMetadata();
    std::lock_guard lock(m_mutex);
    // The most recently started reporter is the one the handlers write for.
    g_armedText.store(m_text);
    installHandlers();
}

bool CrashReporter::isStarted() const {
    std::lock_guard lock(m_mutex);
    return m_started;
}

bool CrashReporter::lastRunCrashed() const {
    std::lock_guard lock(m_mutex);
    return m_lastRunCrashed;
}

QString CrashReporter::reportsFolder() const {
    std::lock_guard lock(m_mutex);
    if (!m_reportsFolder.isEmpty())
        return m_reportsFolder;
    return m_configuration.reportsFolder.isEmpty() ? StandardPaths::userDiagnosticReportsFolder()
                                                   : QDir::cleanPath(m_configuration.reportsFolder);
}

CrashEvent CrashReporter::collectEvent(const QString& errorClass, const QString& message, bool* keep) const {
    std::vector<std::function<bool(CrashEvent&)>> blocks;
    {
        std::lock_guard lock(m_mutex);
        blocks = m_configuration.onSendErrorBlocks;
    }
    // Outside the lock: a block may ask the reporter things.
    CrashEvent event{errorClass, message, {}};
    *keep =
        std::all_of(blocks.begin(), blocks.end(), [&](const auto& block) { return !block || block(event); });
    return event;
}

void CrashReporter::refreshMetadata() {
    if (!isStarted())
        return;
    bool keep = true;
    const CrashEvent event = collectEvent({}, {}, &keep);

    auto* text = new CrashReportText;
    std::lock_guard lock(m_mutex);
    const QString prefix = m_reportsFolder + QLatin1Char('/') + m_configuration.appName + QLatin1Char('-');
    text->pathPrefix = QFile::encodeName(prefix).toStdString();
    const QString header = QStringLiteral("App: ") + m_configuration.appName + QStringLiteral("\nVersion: ") +
                           m_configuration.appVersion + QStringLiteral("\nRelease stage: ") +
                           m_configuration.releaseStage + QLatin1Char('\n');
    text->header = header.toStdString();
    text->metadata = renderMetadata(event);
    text->dropped = !keep;
    publishText(text);
}

void CrashReporter::publishText(CrashReportText* text) {
    CrashReportText* old = m_text;
    m_text = text;
    // Still the armed reporter: the handlers see the new text from now on.
    CrashReportText* expected = old;
    if (old)
        g_armedText.compare_exchange_strong(expected, text);
    retire(old);
}

QString CrashReporter::notify(std::exception_ptr exception) {
    if (!exception || !isStarted())
        return {};
    std::string type, message;
    try {
        std::rethrow_exception(exception);
    } catch (...) {
        std::tie(type, message) = describeCurrentException();
    }
    bool keep = true;
    const CrashEvent event =
        collectEvent(QString::fromStdString(type), QString::fromStdString(message), &keep);
    if (!keep)
        return {};
    const std::string cause = exceptionCause(event.errorClass.toStdString(), event.message.toStdString());
    const std::string metadata = renderMetadata(event);

    std::lock_guard lock(m_mutex);
    PathText path;
    if (!m_text || !writeReport(*m_text, cause.data(), cause.size(), metadata.data(), metadata.size(), path))
        return {};
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

void CrashReporter::stop() {
    std::lock_guard lock(m_mutex);
    if (!m_started)
        return;
    QFile::remove(markerPath());
    disarm();
    m_started = false;
}

void CrashReporter::disarm() {
    CrashReportText* expected = m_text;
    if (m_text && g_armedText.compare_exchange_strong(expected, nullptr))
        uninstallHandlers();
}

QString CrashReporter::markerPath() const {
    return m_reportsFolder + QLatin1Char('/') + m_configuration.appName + QLatin1Char('.') +
           QString::number(::getpid()) + MarkerSuffix;
}

} // namespace platform

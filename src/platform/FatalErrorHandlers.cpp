#include "platform/FatalErrorHandlers.h"

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
#include <mutex>
#include <unistd.h>

namespace platform {

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

[[noreturn]] void onTerminate() {
    if (std::current_exception() && claimFatalReport()) {
        const CrashReportText* text = g_armedText.load();
        if (text && !text->dropped) {
            const auto [type, message] = describeCurrentException();
            const std::string cause = FatalErrorHandlers::exceptionCause(type, message);
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
    FatalErrorHandlers::openUnwinder();

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

} // namespace

void FatalErrorHandlers::openUnwinder() {
    void* frames[2];
    ::backtrace(frames, 2);
}

void FatalErrorHandlers::arm(CrashReportText* text) {
    g_armedText.store(text);
    installHandlers();
}

void FatalErrorHandlers::replaceArmed(CrashReportText* old, CrashReportText* text) {
    CrashReportText* expected = old;
    if (old)
        g_armedText.compare_exchange_strong(expected, text);
}

void FatalErrorHandlers::disarm(CrashReportText* text) {
    CrashReportText* expected = text;
    if (text && g_armedText.compare_exchange_strong(expected, nullptr))
        uninstallHandlers();
}

void FatalErrorHandlers::retire(CrashReportText* text) {
    // The handler claims the state before it loads the text.
    if (text && g_armedText.load() != text && g_state.load() == Idle)
        delete text;
}

std::optional<std::string> FatalErrorHandlers::writeReport(const CrashReportText& text,
                                                           const std::string& cause,
                                                           const std::string& metadata) {
    PathText path;
    if (!platform::writeReport(text, cause.data(), cause.size(), metadata.data(), metadata.size(), path))
        return std::nullopt;
    return std::string(path.data(), path.size());
}

std::pair<std::string, std::string> FatalErrorHandlers::describe(std::exception_ptr exception) {
    try {
        std::rethrow_exception(exception);
    } catch (...) {
        return describeCurrentException();
    }
}

std::string FatalErrorHandlers::exceptionCause(const std::string& type, const std::string& message) {
    return "Error class: " + type + "\nMessage: " + message + "\n";
}

} // namespace platform

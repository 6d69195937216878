#pragma once

#include <exception>
#include <optional>
#include <string>
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

/// The process-wide fatal-signal and terminate handlers, and the report file they write. One text
/// is armed at a time: the handlers write their one report from it with async-signal-safe calls
/// only, on an alternate stack, then let the process die as it would have without them.
/// arm, replaceArmed, disarm and retire are called outside signal context (one thread).
class FatalErrorHandlers {
  public:
    /// Makes `text` the one the handlers write from and installs them (once).
    static void arm(CrashReportText* text);
    /// If `old` is armed, `text` is from now on.
    static void replaceArmed(CrashReportText* old, CrashReportText* text);
    /// If `text` is armed, nothing is any more, and the handlers are removed.
    static void disarm(CrashReportText* text);
    /// Frees a text the handlers no longer point to, unless a handler has begun (it may be reading
    /// it; the process is ending anyway).
    static void retire(CrashReportText* text);

    /// Opens the unwinder the reports' backtraces use. glibc opens it, under the dynamic loader's
    /// lock and allocating, on the first backtrace(): never in a handler, and done before a long
    /// library load on another thread, not waiting for it. Any thread, any number of times.
    static void openUnwinder();
    /// Writes one report now (a handled exception): the path written, or nullopt.
    static std::optional<std::string> writeReport(const CrashReportText& text, const std::string& cause,
                                                  const std::string& metadata);
    /// The type name and what() of an exception.
    static std::pair<std::string, std::string> describe(std::exception_ptr exception);
    /// A report's cause lines for an exception.
    static std::string exceptionCause(const std::string& type, const std::string& message);
};

} // namespace platform

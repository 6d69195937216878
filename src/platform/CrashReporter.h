#pragma once

#include "platform/CrashReporterConfiguration.h"

#include <QString>
#include <exception>
#include <mutex>

namespace platform {

struct CrashReportText;

/// Writes crash reports as files "<appName>-<epoch seconds>-<pid>.crash" into the reports folder;
/// nothing goes over the network. A fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP)
/// or an uncaught exception writes one report, then the process dies as it would have without the
/// reporter. Whether the previous run crashed is told by a run marker "<appName>.<pid>.running"
/// that start() writes and only stop() removes.
///
/// Signal handlers and the terminate handler are process-wide: the most recently started reporter
/// writes the reports until it stops or is destroyed. Reports of a signal are written from the
/// handler with async-signal-safe calls only, from text prepared by start() and refreshMetadata();
/// the handler's stack is an alternate one on the thread that called start(), so a stack overflow
/// there is reported too. start, stop, notify and refreshMetadata are called from one thread (the
/// main thread); the handlers may fire on any thread.
class CrashReporter {
  public:
    /// The process's one reporter, never destroyed.
    static CrashReporter& shared();

    /// A reporter of its own (tests); the program uses shared().
    CrashReporter();
    /// Stops the reporter (the marker goes), and with it the handlers if it is the active one.
    ~CrashReporter();
    CrashReporter(const CrashReporter&) = delete;
    CrashReporter& operator=(const CrashReporter&) = delete;

    /// Creates the reports folder, finds out whether the last run crashed (removing the stale
    /// markers it finds), marks this run as running, installs the handlers and runs the
    /// on-send-error blocks (refreshMetadata). Calling start again replaces the configuration.
    void start(CrashReporterConfiguration configuration);
    bool isStarted() const;
    /// A previous run of the same appName in the same reports folder did not stop cleanly: its
    /// marker was left and its process is gone.
    bool lastRunCrashed() const;
    /// Runs the on-send-error blocks now and keeps their metadata, rendered as text, for a report
    /// written later from a signal or the terminate handler (which cannot run them). Called by
    /// start() and by the application whenever its crash-log text changes. A block returning false
    /// here means such a report is not written.
    void refreshMetadata();
    /// Writes a report of a handled exception now (runs the blocks; a block returning false drops
    /// it). Returns the report's path, or empty when none was written.
    QString notify(std::exception_ptr exception);
    /// A clean stop: the run marker goes, so the next launch does not think this run crashed, and
    /// the handlers are removed if they write for this reporter.
    void stop();
    QString reportsFolder() const;

  private:
    CrashEvent collectEvent(const QString& errorClass, const QString& message, bool* keep) const;
    void publishText(CrashReportText* text);
    void disarm();
    QString markerPath() const;

    mutable std::mutex m_mutex;
    CrashReporterConfiguration m_configuration;
    QString m_reportsFolder;
    bool m_started = false;
    bool m_lastRunCrashed = false;
    CrashReportText* m_text = nullptr; ///< owned; also read by the handlers while armed
};

} // namespace platform

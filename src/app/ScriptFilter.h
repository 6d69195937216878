#pragma once

#include "app/VariableBinding.h"

#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class ThreadMailbox;
namespace platform::http {
class Client;
}

/// A document's filter script, run over its variables (JavaScriptFilter). The JavaScript engine
/// and the filter are a module of their own (libgraflink_filter.so, beside the platform
/// library), loaded when a document first runs a filter: a process whose documents have none
/// maps no part of the engine.
///
/// Threads: made, run and destroyed on one thread (the document's filter thread); only
/// interrupt() may be called from another.
class ScriptFilter {
  public:
    /// The user default that bounds a run, in seconds.
    static inline const QString TimeLimitKey = QStringLiteral("javascriptFilterTimeLimit");
    static constexpr double DefaultTimeLimitSeconds = 2.0;

    struct Limits {
        /// Bounds the run and each HTTP callback.
        std::chrono::milliseconds timeLimit;
        /// The largest response body an HTTP function takes in.
        qint64 maximumResponseSize;
    };

    enum class Outcome { NotRun, Ran, Interrupted };

    /// Writes a line to the technical log, at level 1 and not shown.
    using LogLine = std::function<void(const QString& line)>;
    /// The module's one entry point, `MakerName`; `mailbox` delivers HTTP callbacks to the
    /// calling thread's event loop.
    using Maker = ScriptFilter* (*)(std::weak_ptr<platform::http::Client> http, LogLine log,
                                    std::shared_ptr<ThreadMailbox> mailbox);
    static constexpr const char* MakerName = "graflink_make_script_filter";
    static constexpr const char* ModuleFileName = "libgraflink_filter.so";

    virtual ~ScriptFilter() = default;

    /// Runs the script at `scriptPath` over the bindings that have a path.
    virtual Outcome run(const QString& scriptPath, VariableBindings& bindings, Limits limits) = 0;
    /// Why the last run's script could not be run, for the user; empty when it could.
    virtual const QString& problem() const = 0;
    /// Stops a run under way and every later one (the document is going away). Any thread.
    virtual void interrupt() = 0;
    /// Engines made since this filter was: one, however many runs (tests).
    virtual int enginesMade() const = 0;
    /// Times the script was read from its file (tests).
    virtual int scriptReads() const = 0;

    /// The JavaScript filter of the module, loaded on the first call. Without the module (a
    /// damaged installation), a filter whose runs say so and leave the values unfiltered.
    static std::unique_ptr<ScriptFilter> make(std::weak_ptr<platform::http::Client> http, LogLine log,
                                              std::shared_ptr<ThreadMailbox> mailbox);
};

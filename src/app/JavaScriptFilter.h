#pragma once

#include "app/JavaScriptHttpFunctions.h"

#include <QList>
#include <QString>
#include <chrono>
#include <memory>

class GraflinkVariable;
class NVSLogController;
namespace platform::http {
class Client;
}

/// Runs a document's filter script over its variables: each value is offered as a global named by
/// the variable's path ("a/b" → a_b), the script runs once, and what it leaves in the globals
/// becomes the values (as the language's string conversion; undefined leaves a value alone).
///
/// Every run has a fresh engine. The script may call httpGet(url, callback) and
/// httpPost(url, body, callback); their callbacks run later on the main thread and keep their
/// engine alive until then. A run, and each callback, that exceeds the time limit is
/// interrupted and logged at level 1; an interrupted run leaves the values as evaluated. At most
/// MaximumOutstandingRequests requests of the filter's runs are under way at once; further calls
/// are called back at once with an error. Main thread.
class JavaScriptFilter {
  public:
    /// The user default that bounds a run, in seconds.
    static inline const QString TimeLimitKey = QStringLiteral("javascriptFilterTimeLimit");
    static constexpr double DefaultTimeLimitSeconds = 2.0;
    /// Requests of one document's filter under way at once; a script that sends more per refresh
    /// than its server answers would otherwise pile them up without end.
    static constexpr int MaximumOutstandingRequests = 16;

    struct Limits {
        /// Bounds the run and each HTTP callback.
        std::chrono::milliseconds timeLimit;
        /// The largest response body an HTTP function takes in.
        qint64 maximumResponseSize;
    };

    enum class Outcome { NotRun, Ran, Interrupted };

    JavaScriptFilter(std::shared_ptr<platform::http::Client> http, NVSLogController& logger);
    ~JavaScriptFilter();
    JavaScriptFilter(const JavaScriptFilter&) = delete;
    JavaScriptFilter& operator=(const JavaScriptFilter&) = delete;

    /// The global name of a path: every "/" replaced by "_".
    static QString globalName(const QString& path);

    /// Runs the script at `scriptPath` over the variables that have a path. A missing,
    /// unreadable or empty file runs nothing.
    Outcome run(const QString& scriptPath, const QList<GraflinkVariable*>& variables, Limits limits);

  private:
    std::shared_ptr<platform::http::Client> m_http;
    NVSLogController& m_logger;
    // Shared with the HTTP functions of every run, whose callbacks may outlive the run and the filter.
    std::shared_ptr<JavaScriptHttpFunctions::SharedState> m_httpState;
};

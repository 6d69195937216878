#pragma once

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
/// engine alive until then. A run that exceeds the time limit is interrupted, logged at level 1,
/// and leaves the values as evaluated. Main thread.
class JavaScriptFilter {
public:
    /// The user default that bounds a run, in seconds.
    static inline const QString TimeLimitKey = QStringLiteral("javascriptFilterTimeLimit");
    static constexpr double DefaultTimeLimitSeconds = 2.0;

    enum class Outcome { NotRun, Ran, Interrupted };

    JavaScriptFilter(std::shared_ptr<platform::http::Client> http, NVSLogController& logger);

    /// The global name of a path: every "/" replaced by "_".
    static QString globalName(const QString& path);

    /// Runs the script at `scriptPath` over the variables that have a path. A missing,
    /// unreadable or empty file runs nothing.
    Outcome run(const QString& scriptPath, const QList<GraflinkVariable*>& variables,
                std::chrono::milliseconds timeLimit);

private:
    std::shared_ptr<platform::http::Client> m_http;
    NVSLogController& m_logger;
};

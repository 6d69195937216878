#pragma once

#include "app/ScriptFilter.h"
#include "filter/JavaScriptHttpFunctions.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

class QJSEngine;
class ThreadMailbox;
namespace platform::http {
class Client;
}

/// Runs a document's filter script over its variables: each value is offered as a global named by
/// the variable's path ("a/b" → a_b), the script runs once, and what it leaves in the globals
/// becomes the values (as the language's string conversion; undefined leaves a value alone).
///
/// One engine serves every run of the document's filter; the script is read again only when its
/// path, size or modification time changes. Each run starts from the globals the engine had
/// before the first run: what an earlier run or callback left in other globals reads as
/// undefined. The script may call httpGet(url, callback) and httpPost(url, body, callback); their
/// callbacks run later on the engine's thread. A run, and each callback, that exceeds the time
/// limit is interrupted and logged at level 1; an interrupted run leaves the values as evaluated.
/// At most MaximumOutstandingRequests requests of the filter are under way at once; further calls
/// are called back at once with an error.
///
/// Threads: made, run and destroyed on one thread (the document's filter thread, whose event
/// loop delivers the callbacks); only interrupt() may be called from another.
class JavaScriptFilter : public ScriptFilter {
  public:
    /// Requests of one document's filter under way at once; a script that sends more per refresh
    /// than its server answers would otherwise pile them up without end.
    static constexpr int MaximumOutstandingRequests = 16;

    /// `mailbox` delivers HTTP callbacks to this thread's event loop.
    JavaScriptFilter(std::weak_ptr<platform::http::Client> http, LogLine log,
                     std::shared_ptr<ThreadMailbox> mailbox);
    ~JavaScriptFilter() override;
    JavaScriptFilter(const JavaScriptFilter&) = delete;
    JavaScriptFilter& operator=(const JavaScriptFilter&) = delete;

    /// The global name of a path: every "/" replaced by "_".
    static QString globalName(const QString& path);

    /// Runs the script at `scriptPath` over the bindings that have a path. A missing, unreadable
    /// or empty file runs nothing (a missing or unreadable one is logged once, at level 1).
    Outcome run(const QString& scriptPath, VariableBindings& bindings, Limits limits) override;

    /// Why the last run's script could not be run, for the user; empty when it could.
    const QString& problem() const override { return m_problem; }
    int enginesMade() const override { return m_enginesMade; }
    int scriptReads() const override { return m_scriptReads; }
    void interrupt() override;

  private:
    /// The script's text, read again only when the file changed; empty when there is none.
    const QString& script(const QString& path);
    void reportProblem(const QString& logLine, const QString& problem);
    void makeEngine(Limits limits);
    void resetGlobals();

    std::weak_ptr<platform::http::Client> m_http;
    LogLine m_log;
    std::shared_ptr<ThreadMailbox> m_mailbox;
    // Shared with the HTTP functions and their callbacks, which may outlive a run.
    std::shared_ptr<JavaScriptHttpFunctions::SharedState> m_httpState;
    std::shared_ptr<QJSEngine> m_engine;
    std::atomic<QJSEngine*> m_interruptible{nullptr};
    std::atomic<bool> m_closing{false};
    QStringList m_initialGlobals;
    int m_enginesMade = 0;
    int m_scriptReads = 0;

    struct ScriptFile {
        QString path;
        qint64 size = -1;
        QDateTime modified;
        QString text;
        bool readable = true;
    };
    ScriptFile m_script;
    QString m_problem;
};

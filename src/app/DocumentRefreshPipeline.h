#pragma once

#include "app/FeedFetcher.h"
#include "app/ScriptFilter.h"
#include "app/StreamedPathsCache.h"
#include "app/VariableBinding.h"
#include "app/VariableEvaluator.h"
#include "platform/StreamedKeyPaths.h"
#include "platform/StreamedLocationPaths.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class FeedResponse;
class NVSLogController;
class QThread;
class QObject;
class ThreadMailbox;
class GraflinkVariable;
namespace platform {
class FeedCredentials;
class UserDefaults;
namespace http {
class Client;
class Task;
} // namespace http
} // namespace platform

/// One refresh: the variables as they were when it started, worked on in place.
struct RefreshJob {
    quint64 sequence = 0;
    VariableBindings bindings;
    /// The filter's file (absolute); empty: no filter.
    QString filterPath;
    ScriptFilter::Limits filterLimits{};
    /// Set by the filter run: why the filter could not run (missing, unreadable), for the user.
    QString filterProblem;
};

/// Works out one document's refreshes away from the main thread: the feed is evaluated where it
/// was parsed (an HTTP completion worker), then the filter runs on the document's own filter
/// thread, which owns its script engine; the finished values go back to the caller, which applies
/// them on the main thread. Evaluations of one document take turns; the filter thread starts with
/// the first refresh that has a filter.
///
/// Shared by the document and the refreshes under way: the last owner stops the filter thread
/// (interrupting a run under way), on any thread but the filter thread itself.
class DocumentRefreshPipeline {
  public:
    using Job = RefreshJob;
    using Done = std::function<void(std::shared_ptr<Job>)>;
    /// Where and how one fetch of the document's feed goes.
    struct Fetch {
        QString address;
        FeedFetcher::Limits limits;
        std::shared_ptr<platform::FeedCredentials> credentials;
    };
    /// A refresh ended: the worked-out job, or none and why no feed came.
    using RefreshEnded = std::function<void(std::shared_ptr<Job> job, const QString& failure)>;
    /// An inventory ended: the feed's paths, or none when no feed came.
    using InventoryEnded = std::function<void(std::optional<QStringList> elements)>;

    /// A job over copies of `variables`, with the filter at `filterPath` (none when empty) and its
    /// limits from `defaults`.
    static std::shared_ptr<Job> jobFor(const QList<GraflinkVariable*>& variables, const QString& filterPath,
                                       platform::UserDefaults& defaults);

    DocumentRefreshPipeline(std::weak_ptr<platform::http::Client> http, NVSLogController& logger);
    ~DocumentRefreshPipeline();
    DocumentRefreshPipeline(const DocumentRefreshPipeline&) = delete;
    DocumentRefreshPipeline& operator=(const DocumentRefreshPipeline&) = delete;

    /// Fetches the feed, writes the fetch's log lines, then works the job out (process); `ended`
    /// runs once, on a worker. Returns the fetch's task (null when nothing was started).
    static std::shared_ptr<platform::http::Task>
    refresh(const std::shared_ptr<DocumentRefreshPipeline>& pipeline, platform::http::Client& client,
            const Fetch& fetch, std::shared_ptr<Job> job, RefreshEnded ended);
    /// Fetches the feed and lists its paths on the worker: a large feed has many thousands.
    std::shared_ptr<platform::http::Task> inventory(platform::http::Client& client, const Fetch& fetch,
                                                    InventoryEnded ended);

    /// Evaluates the job against the response's feed on the calling thread, then filters it on
    /// the filter thread; `done` runs last, on whichever of the two did the last step.
    void process(std::shared_ptr<Job> job, const FeedResponse& response, Done done);
    /// Runs only the filter over the job, waiting on the calling thread (never the filter
    /// thread) until it is done.
    void filterAndWait(const std::shared_ptr<Job>& job);

    /// Engines made by the filter so far, and script reads (tests).
    int filterEnginesMade() const;
    int filterScriptReads() const;

  private:
    static void writeLog(NVSLogController& logger, const FeedResponse& response);
    void evaluate(Job& job, const FeedResponse& response);
    void filter(std::shared_ptr<Job> job, Done done);
    /// Starts the filter thread on first use.
    std::shared_ptr<ThreadMailbox> filterMailbox();

    std::weak_ptr<platform::http::Client> m_http;
    NVSLogController& m_logger;
    std::mutex m_evaluatorMutex; // one evaluation of this document at a time
    VariableEvaluator m_evaluator;

    // What a feed is streamed for in a refresh: the bindings' paths, when all are simple location
    // paths (XML) or key paths (JSON) and the feed has not needed its full parse for them before.
    StreamedPathsCache<platform::StreamedLocationPaths> m_xmlPaths;
    StreamedPathsCache<platform::StreamedKeyPaths> m_keyPaths;

    std::mutex m_threadMutex; // guards what follows
    std::unique_ptr<QThread> m_thread;
    std::atomic<ScriptFilter*> m_filter{nullptr}; // lives on m_thread, owned by its receiver
    std::shared_ptr<ThreadMailbox> m_mailbox;
};

#pragma once

#include "app/JavaScriptFilter.h"
#include "app/VariableBinding.h"
#include "app/VariableEvaluator.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class FeedResponse;
class NVSLogController;
class QThread;
class QObject;
class ThreadMailbox;
namespace platform::http {
class Client;
}

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
    /// One refresh: the variables as they were when it started, worked on in place.
    struct Job {
        quint64 sequence = 0;
        VariableBindings bindings;
        /// The filter's file (absolute); empty: no filter.
        QString filterPath;
        JavaScriptFilter::Limits filterLimits{};
    };
    using Done = std::function<void(std::shared_ptr<Job>)>;

    DocumentRefreshPipeline(std::weak_ptr<platform::http::Client> http, NVSLogController& logger);
    ~DocumentRefreshPipeline();
    DocumentRefreshPipeline(const DocumentRefreshPipeline&) = delete;
    DocumentRefreshPipeline& operator=(const DocumentRefreshPipeline&) = delete;

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
    void evaluate(Job& job, const FeedResponse& response);
    void filter(std::shared_ptr<Job> job, Done done);
    /// Starts the filter thread on first use.
    std::shared_ptr<ThreadMailbox> filterMailbox();

    std::weak_ptr<platform::http::Client> m_http;
    NVSLogController& m_logger;
    std::mutex m_evaluatorMutex; // one evaluation of this document at a time
    VariableEvaluator m_evaluator;

    std::mutex m_threadMutex; // guards what follows
    std::unique_ptr<QThread> m_thread;
    std::atomic<JavaScriptFilter*> m_filter{nullptr}; // lives on m_thread, owned by its receiver
    std::shared_ptr<ThreadMailbox> m_mailbox;
};

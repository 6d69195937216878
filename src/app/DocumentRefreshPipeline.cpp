#include "app/DocumentRefreshPipeline.h"

#include "app/FeedInventory.h"
#include "app/FeedResponse.h"
#include "app/ThreadMailbox.h"
#include "appbase/NVSLogController.h"
#include "feed/FeedSizeLimit.h"
#include "platform/UserDefaults.h"
#include "platform/XmlDocument.h"

#include <QObject>
#include <QThread>
#include <cmath>
#include <future>

namespace {

/// Owns the filter on its thread, so that it is made and destroyed there.
class FilterReceiver : public QObject {
  public:
    void adopt(std::unique_ptr<ScriptFilter> filter) { m_filter = std::move(filter); }

  private:
    std::unique_ptr<ScriptFilter> m_filter;
};

} // namespace

DocumentRefreshPipeline::DocumentRefreshPipeline(std::weak_ptr<platform::http::Client> http,
                                                 NVSLogController& logger)
    : m_http(std::move(http)), m_logger(logger) {}

DocumentRefreshPipeline::~DocumentRefreshPipeline() {
    std::lock_guard lock(m_threadMutex);
    if (!m_thread)
        return;
    m_mailbox->close();
    m_filter.load()->interrupt();
    m_thread->quit();
    m_thread->wait();
}

void DocumentRefreshPipeline::evaluate(Job& job, const FeedResponse& response) {
    std::lock_guard lock(m_evaluatorMutex);
    if (response.xmlPathValues)
        m_evaluator.evaluate(job.bindings, *response.xmlPathValues);
    else if (response.jsonPathValues)
        m_evaluator.evaluate(job.bindings, *response.jsonPathValues);
    else if (response.xml)
        m_evaluator.evaluate(job.bindings, *response.xml);
    else if (response.jsonFeed)
        m_evaluator.evaluateFeed(job.bindings, *response.jsonFeed);
    else if (response.json)
        m_evaluator.evaluate(job.bindings, *response.json);
}

std::shared_ptr<RefreshJob> DocumentRefreshPipeline::jobFor(const QList<GraflinkVariable*>& variables,
                                                            const QString& filterPath,
                                                            platform::UserDefaults& defaults) {
    auto job = std::make_shared<Job>();
    job->bindings = VariableEvaluator::bindingsOf(variables);
    job->filterPath = filterPath;
    if (!filterPath.isEmpty()) {
        double seconds = defaults.doubleForKey(ScriptFilter::TimeLimitKey);
        if (!(seconds > 0) || !std::isfinite(seconds))
            seconds = ScriptFilter::DefaultTimeLimitSeconds;
        job->filterLimits = ScriptFilter::Limits{
            std::chrono::milliseconds(static_cast<qint64>(std::min(seconds, 3600.0) * 1000.0)),
            platform::FeedSizeLimit::bytes(defaults)};
    }
    return job;
}

std::shared_ptr<ThreadMailbox> DocumentRefreshPipeline::filterMailbox() {
    std::lock_guard lock(m_threadMutex);
    if (m_thread)
        return m_mailbox;
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("Graflink filter"));
    auto* receiver = new FilterReceiver;
    receiver->moveToThread(m_thread.get());
    m_mailbox = std::make_shared<ThreadMailbox>(receiver);
    // The filter is made on its thread: its engine belongs to the thread that makes it.
    std::promise<ScriptFilter*> made;
    std::function<void()> make = [this, receiver, &made] {
        NVSLogController* logger = &m_logger;
        auto filter = ScriptFilter::make(
            m_http, [logger](const QString& line) { logger->logMessage(line, 1, false); }, m_mailbox);
        made.set_value(filter.get());
        receiver->adopt(std::move(filter));
    };
    QObject::connect(m_thread.get(), &QThread::finished, receiver, &QObject::deleteLater);
    m_thread->start();
    m_mailbox->post(make);
    m_filter.store(made.get_future().get());
    return m_mailbox;
}

void DocumentRefreshPipeline::process(std::shared_ptr<Job> job, const FeedResponse& response, Done done) {
    evaluate(*job, response);
    filter(std::move(job), std::move(done));
}

void DocumentRefreshPipeline::filter(std::shared_ptr<Job> job, Done done) {
    if (job->filterPath.isEmpty()) {
        done(std::move(job));
        return;
    }
    const std::shared_ptr<ThreadMailbox> mailbox = filterMailbox();
    std::function<void()> filter = [filter = m_filter.load(), job = std::move(job),
                                    done = std::move(done)]() mutable {
        filter->run(job->filterPath, job->bindings, job->filterLimits);
        job->filterProblem = filter->problem();
        done(std::move(job));
    };
    // Refused only while the pipeline goes away: nobody waits for the job any more.
    mailbox->post(filter);
}

void DocumentRefreshPipeline::filterAndWait(const std::shared_ptr<Job>& job) {
    std::promise<void> finished;
    filter(job, [&finished](const std::shared_ptr<Job>&) { finished.set_value(); });
    finished.get_future().wait();
}

int DocumentRefreshPipeline::filterEnginesMade() const {
    const ScriptFilter* filter = m_filter.load();
    return filter ? filter->enginesMade() : 0;
}

int DocumentRefreshPipeline::filterScriptReads() const {
    const ScriptFilter* filter = m_filter.load();
    return filter ? filter->scriptReads() : 0;
}

std::shared_ptr<platform::http::Task>
DocumentRefreshPipeline::refresh(const std::shared_ptr<DocumentRefreshPipeline>& pipeline,
                                 platform::http::Client& client, const Fetch& fetch, std::shared_ptr<Job> job,
                                 RefreshEnded ended) {
    // Asked on the worker, for the feed's type: the bindings stay as they are until evaluated.
    // Made ahead only before the document's first feed: after it, the paths of its type are made
    // (and those of the other type are not wanted ahead).
    FeedResponse::WantedPaths wanted{
        [pipeline, job] { return pipeline->m_xmlPaths.pathsFor(VariableEvaluator::pathsOf(job->bindings)); },
        [pipeline, job] { return pipeline->m_keyPaths.pathsFor(VariableEvaluator::pathsOf(job->bindings)); },
        !pipeline->m_xmlPaths.isMade() && !pipeline->m_keyPaths.isMade()};
    return FeedFetcher::start(
        client, fetch.address, fetch.limits, fetch.credentials,
        [pipeline, job = std::move(job),
         ended = std::move(ended)](std::shared_ptr<FeedResponse> response) mutable {
            // On the client's worker (or at once for an unusable address).
            writeLog(pipeline->m_logger, *response);
            if (response->streamedPaths && response->xml)
                pipeline->m_xmlPaths.giveUp(response->streamedPaths);
            if (response->streamedKeyPaths && (response->jsonFeed || response->json))
                pipeline->m_keyPaths.giveUp(response->streamedKeyPaths);
            if (!response->hasFeed()) {
                ended(nullptr, response->failureReason.isEmpty() ? QStringLiteral("no feed")
                                                                 : response->failureReason);
                return;
            }
            pipeline->process(std::move(job), *response,
                              [ended](std::shared_ptr<Job> done) { ended(std::move(done), QString()); });
        },
        std::move(wanted));
}

std::shared_ptr<platform::http::Task>
DocumentRefreshPipeline::inventory(platform::http::Client& client, const Fetch& fetch, InventoryEnded ended) {
    NVSLogController* logger = &m_logger;
    return FeedFetcher::start(client, fetch.address, fetch.limits, fetch.credentials,
                              [logger, ended = std::move(ended)](std::shared_ptr<FeedResponse> response) {
                                  writeLog(*logger, *response);
                                  std::optional<QStringList> elements;
                                  if (response->xml)
                                      elements = FeedInventory::ofXml(*response->xml);
                                  else if (response->hasFeed())
                                      elements = FeedInventory::ofJson(*response->jsonValue());
                                  ended(std::move(elements));
                              });
}

void DocumentRefreshPipeline::writeLog(NVSLogController& logger, const FeedResponse& response) {
    for (const FeedResponse::LogLine& line : std::as_const(response.logLines))
        logger.logMessage(line.text, line.level, false);
}

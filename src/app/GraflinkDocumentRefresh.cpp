#include "app/DocumentCGLink.h"
#include "app/DocumentRefreshPipeline.h"
#include "app/FeedFetcher.h"
#include "app/FeedFreshness.h"
#include "app/FeedInventory.h"
#include "app/FeedResponse.h"
#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "app/NVSAppleScriptActionsController.h"
#include "app/RefreshSchedule.h"
#include "app/VariableEvaluator.h"
#include "appbase/NVSLogController.h"
#include "feed/FeedCredentials.h"
#include "feed/FeedSizeLimit.h"
#include "platform/DispatchTimer.h"
#include "platform/MainQueue.h"
#include "platform/StringFormat.h"
#include "platform/UserDefaults.h"
#include "platform/XmlDocument.h"

#include <QDir>
#include <QFileInfo>
#include <nlohmann/json.hpp>

// GraflinkDocument's refresh: fetching and evaluating the feed, the filter, publishing and
// actions, the inventory and the refresh timer. The rest of the class is in GraflinkDocument.cpp.

// MARK: - Feed

void GraflinkDocument::refresh() {
    // While a file is being read, the setters' refreshes wait for the whole file: a fetch started
    // halfway would still use the previous (default) address.
    if (m_reading) {
        m_refreshRequestedWhileReading = true;
        return;
    }
    startRefresh();
}

void GraflinkDocument::timedRefresh() {
    // A slow feed gets no second request from the timer: one refresh waits for the running one.
    const bool starts = m_schedule->tickStarts([this](bool waiting) {
        log(2, RefreshSchedule::paceText(waiting, displayName(), m_refreshFrequency));
    });
    if (starts)
        refresh();
}

QString GraflinkDocument::resolvedJavascriptFilterPath() const {
    if (!m_javascriptFilterPath || m_javascriptFilterPath->isEmpty())
        return QString();
    const QString& path = *m_javascriptFilterPath;
    const QString folder = filePath().isEmpty() ? m_readFolder : QFileInfo(filePath()).absolutePath();
    if (QDir::isAbsolutePath(path) || folder.isEmpty())
        return QFileInfo(path).absoluteFilePath();
    return QDir::cleanPath(QDir(folder).absoluteFilePath(path));
}

int GraflinkDocument::filterEnginesMade() const {
    return m_pipeline->filterEnginesMade();
}

int GraflinkDocument::filterScriptReads() const {
    return m_pipeline->filterScriptReads();
}

namespace {

/// Where a fetch of the document's feed goes, with these time-outs.
DocumentRefreshPipeline::Fetch fetchOf(const GraflinkDocument& document, platform::UserDefaults& defaults,
                                       FeedFetcher::Timeouts timeouts) {
    return {document.sourceURLString().value_or(QString()),
            FeedFetcher::Limits{timeouts, platform::FeedSizeLimit::bytes(defaults)},
            document.feedCredentials()};
}

} // namespace

void GraflinkDocument::startRefresh() {
    const quint64 sequence = m_schedule->beginRefresh();
    Q_EMIT refreshStarted();

    std::shared_ptr<RefreshJob> job;
    {
        std::lock_guard lock(m_variables->lock());
        const QList<GraflinkVariable*> variables = m_variables->variables();
        job = DocumentRefreshPipeline::jobFor(variables, resolvedJavascriptFilterPath(),
                                              *m_environment.defaults);
        m_refreshVariables[sequence] = variables;
    }
    job->sequence = sequence;
    auto task = DocumentRefreshPipeline::refresh(
        m_pipeline, *m_environment.http,
        fetchOf(*this, *m_environment.defaults,
                {m_environment.refreshRequestTimeout, m_environment.refreshResourceTimeout}),
        std::move(job),
        [self = QPointer<GraflinkDocument>(this),
         sequence](std::shared_ptr<DocumentRefreshPipeline::Job> done, const QString& failure) {
            platform::MainQueue::dispatchAsync([self, sequence, done = std::move(done), failure] {
                if (self)
                    self->refreshEnded(sequence, done, failure);
            });
        });
    m_schedule->trackRefresh(sequence, std::move(task));
}

void GraflinkDocument::refreshEnded(quint64 sequence, const std::shared_ptr<RefreshJob>& job,
                                    const QString& failure) {
    if (!m_schedule->refreshCounts(sequence)) {
        // The fetch of an address the document no longer has: nothing of it counts.
        m_refreshVariables.erase(sequence);
        if (m_schedule->dueRefreshStarts())
            startRefresh();
        return;
    }
    bool processed = false;
    if (job) {
        if (isNewest(sequence, &RefreshSchedule::takeRefreshResult)) {
            processed = true;
            applyRefresh(sequence, job->bindings);
            m_filterProblem = job->filterProblem;
            ++m_processedRefreshCount;
            m_freshness->refreshSucceeded();
        }
    } else {
        m_lastRefreshError = failure;
        publishFallbacksAfterFailure();
    }
    m_refreshVariables.erase(sequence);
    finishRefresh(sequence, processed);
}

void GraflinkDocument::applyRefresh(quint64 sequence, const std::vector<VariableBinding>& bindings) {
    std::lock_guard lock(m_variables->lock());
    if (VariableEvaluator::applyUnedited(bindings, m_refreshVariables[sequence], m_variables->variables()))
        m_schedule->markDue(); // edited meanwhile: those values come with the next refresh
    publishAndRunActions();
}

void GraflinkDocument::getPaths() {
    const quint64 sequence = m_schedule->beginInventory();
    auto task = m_pipeline->inventory(
        *m_environment.http, fetchOf(*this, *m_environment.defaults, FeedFetcher::InventoryTimeouts),
        [self = QPointer<GraflinkDocument>(this), sequence](std::optional<QStringList> elements) {
            platform::MainQueue::dispatchAsync([self, sequence, elements = std::move(elements)] {
                if (self)
                    self->inventoryEnded(sequence, elements);
            });
        });
    m_schedule->trackInventory(std::move(task));
}

bool GraflinkDocument::isNewest(quint64 sequence, bool (RefreshSchedule::*take)(quint64, quint64*)) {
    quint64 newest = 0;
    if ((m_schedule.get()->*take)(sequence, &newest))
        return true;
    log(2, platform::StringFormat::format(
               QStringLiteral("Ignoring a stale feed response (fetch %lu; fetch %lu was already processed)"),
               sequence, newest));
    return false;
}

void GraflinkDocument::inventoryEnded(quint64 sequence, const std::optional<QStringList>& elements) {
    bool inventoried = false;
    if (elements) {
        if (isNewest(sequence, &RefreshSchedule::takeInventoryResult)) {
            inventoried = true;
            Q_EMIT inventoriedElementsAboutToChange();
            m_inventoriedElements = *elements;
            Q_EMIT inventoriedElementsChanged();
        }
    }
    Q_EMIT pathsFinished(inventoried);
}

void GraflinkDocument::finishRefresh(quint64 sequence, bool processed) {
    m_schedule->endRefresh(sequence, processed);
    Q_EMIT refreshFinished(processed);
    if (m_schedule->dueRefreshStarts())
        startRefresh();
}

void GraflinkDocument::processXMLDocument(const platform::XmlDocument& document) {
    std::lock_guard lock(m_variables->lock());
    m_evaluator->evaluate(m_variables->variables(), document);
    processVariablesThroughJavascript();
    publishAndRunActions();
}

void GraflinkDocument::processJSONObject(const platform::JsonValue& value) {
    std::lock_guard lock(m_variables->lock());
    m_evaluator->evaluate(m_variables->variables(), value);
    processVariablesThroughJavascript();
    publishAndRunActions();
}

void GraflinkDocument::processJSONFeed(const platform::JsonFeed& feed) {
    std::lock_guard lock(m_variables->lock());
    m_evaluator->evaluateFeed(m_variables->variables(), feed);
    processVariablesThroughJavascript();
    publishAndRunActions();
}

void GraflinkDocument::processVariablesThroughJavascript() {
    const QString path = resolvedJavascriptFilterPath();
    if (path.isEmpty())
        return;
    std::lock_guard lock(m_variables->lock());
    const QList<GraflinkVariable*> variables = m_variables->variables();
    const std::shared_ptr<RefreshJob> job =
        DocumentRefreshPipeline::jobFor(variables, path, *m_environment.defaults);
    m_pipeline->filterAndWait(job);
    VariableEvaluator::apply(job->bindings, variables);
}

void GraflinkDocument::publishAndRunActions() {
    std::lock_guard lock(m_variables->lock());
    const QList<GraflinkVariable*> variables = m_variables->variables();
    for (GraflinkVariable* variable : variables) {
        // A variable without a value starts nothing: an action would get no parameter at all.
        const std::optional<platform::JsonValue>& value = variable->currentStringValue();
        if (variable->appleScriptActionName() && value) {
            const QString parameter = value->is_string()
                                          ? QString::fromStdString(value->get_ref<const std::string&>())
                                          : QString::fromUtf8(platform::toJsonBytes(*value));
            executeAppleScriptWithName(*variable->appleScriptActionName(), {parameter});
        }
    }
    // A variable without a value (its path led nowhere) sends its fallback; by default there is
    // none and the field keeps what is on air rather than being blanked by a feed that
    // momentarily lacks the element.
    if (m_publishToCG && m_cg->client())
        m_cg->publish(DocumentCGLink::passOf(variables), m_changeOnlyPublishing, m_fullPublishSeconds);
}

void GraflinkDocument::publishFallbacksAfterFailure() {
    std::lock_guard lock(m_variables->lock());
    QList<GraflinkVariable*> losing;
    for (GraflinkVariable* variable : m_variables->variables()) {
        if (variable->fallbackMode() == GraflinkVariable::KeepOnAir)
            continue;
        variable->setCurrentStringValue(std::nullopt);
        losing.append(variable);
    }
    CGPublishingPass pass = DocumentCGLink::passOf(losing);
    if (m_publishToCG && !pass.isEmpty())
        m_cg->publish(std::move(pass), m_changeOnlyPublishing, m_fullPublishSeconds);
}

QStringList GraflinkDocument::availableAppleScriptActions() const {
    return m_environment.actions ? m_environment.actions->actionNames() : QStringList();
}

void GraflinkDocument::executeAppleScriptWithName(const QString& name, const QStringList& parameters) {
    if (!m_environment.actions)
        return;
    const std::shared_ptr<NVSAppleScriptAction> action = m_environment.actions->actionWithName(name);
    if (!action)
        return;
    QList<NVSAppleScriptParameter> list;
    for (const QString& parameter : parameters)
        list.append(NVSAppleScriptParameter::parameterWithString(parameter));
    m_environment.actions->executeAction(*action, list, [](bool) {});
}

void GraflinkDocument::inventoryXMLDocument(const platform::XmlDocument& document) {
    Q_EMIT inventoriedElementsAboutToChange();
    m_inventoriedElements = FeedInventory::ofXml(document);
    Q_EMIT inventoriedElementsChanged();
}

void GraflinkDocument::inventoryJSONObject(const platform::JsonValue& value) {
    Q_EMIT inventoriedElementsAboutToChange();
    m_inventoriedElements = FeedInventory::ofJson(value);
    Q_EMIT inventoriedElementsChanged();
}

// MARK: - Refresh timer

void GraflinkDocument::startRefreshTimer() {
    const double seconds = std::isfinite(m_refreshFrequency)
                               ? std::max(m_refreshFrequency, MinimumRefreshFrequency)
                               : MinimumRefreshFrequency;
    const auto period = std::chrono::milliseconds(static_cast<qint64>(std::min(seconds, 1e9) * 1000.0));
    // The first timed refresh comes one full period after the timer starts.
    m_schedule->startTimer(period, [this] { timedRefresh(); });
}

void GraflinkDocument::stopRefreshTimer() {
    m_schedule->stopTimer();
}

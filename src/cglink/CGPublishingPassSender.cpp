#include "cglink/CGPublishingPassSender.h"

#include "cglink/CGServerHTTPController.h"
#include "cglink/CGServerURLs.h"
#include "cglink/CGServerWire.h"
#include "cglink/SynchronousRequests.h"
#include "platform/HttpClient.h"

namespace {

QString acceptedKey(const QString& projectID, const QString& itemUniqueID) {
    return projectID + QChar(0x1F) + itemUniqueID;
}

} // namespace

CGPublishingPassSender::CGPublishingPassSender(CGServerHTTPController& controller,
                                               std::shared_ptr<platform::http::Client> client)
    : m_controller(controller), m_client(std::move(client)) {}

CGPublishingPassSender::~CGPublishingPassSender() {
    stop();
}

bool CGPublishingPassSender::queue(CGPublishingPass pass, CGPublishingPassKind kind) {
    std::lock_guard lock(m_mutex);
    const bool replacing = m_waiting.has_value();
    m_waiting = std::move(pass);
    m_waitingKind =
        replacing && m_waitingKind == CGPublishingPassKind::Full ? CGPublishingPassKind::Full : kind;
    if (m_running || m_startAsked || m_stopped)
        return false;
    m_startAsked = true;
    return true;
}

void CGPublishingPassSender::start() {
    {
        std::lock_guard lock(m_mutex);
        m_startAsked = false;
        if (m_running || m_stopped || !m_waiting) {
            m_idle.notify_all();
            return;
        }
        m_running = true;
    }
    next();
}

bool CGPublishingPassSender::isIdle() const {
    std::lock_guard lock(m_mutex);
    return !m_running && !m_startAsked;
}

void CGPublishingPassSender::waitUntilIdle() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_running; });
}

void CGPublishingPassSender::stop() {
    std::shared_ptr<platform::http::Task> task;
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_waiting.reset();
        task = m_task;
    }
    if (task)
        task->cancel();
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_running; });
    m_task.reset();
}

void CGPublishingPassSender::next() {
    while (std::optional<Step> step = takeStep()) {
        if (m_controller.m_password.isEmpty() ? startUpdate(std::move(*step), std::nullopt)
                                              : startAuthorization(std::move(*step)))
            return;
    }
}

std::optional<CGPublishingPassSender::Step> CGPublishingPassSender::takeStep() {
    for (;;) {
        CGTextUpdate update;
        CGPublishingPassKind kind = CGPublishingPassKind::Full;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopped || (!m_current && !m_waiting)) {
                m_running = false;
                m_idle.notify_all();
                return std::nullopt;
            }
            if (!m_current) {
                m_current = std::move(m_waiting);
                m_waiting.reset();
                m_currentKind = m_waitingKind;
                m_waitingKind = CGPublishingPassKind::Full;
                m_index = 0;
            }
            if (m_index >= m_current->size()) {
                m_current.reset();
                QMetaObject::invokeMethod(
                    &m_controller,
                    [controller = &m_controller] { Q_EMIT controller->publishingPassFinished(); },
                    Qt::QueuedConnection);
                continue;
            }
            update = m_current->at(m_index++);
            kind = m_currentKind;
        }
        const std::shared_ptr<CGProject> project = m_controller.projectWithName(update.projectName);
        const std::shared_ptr<CGProjectItem> item =
            project ? project->itemWithName(update.itemName) : nullptr;
        if (!item || !item->uniqueID())
            continue;
        Step step{project->uniqueID().value_or(QString()), *item->uniqueID(), std::move(update.value),
                  update.isHTML};
        if (step.projectID.size() < 2 || step.itemUniqueID.size() < 2)
            continue;
        if (kind == CGPublishingPassKind::ChangesOnly && wasAccepted(step))
            continue;
        // Until the server confirms the new value, what it shows is unknown.
        forget(step.projectID, step.itemUniqueID);
        return step;
    }
}

bool CGPublishingPassSender::wasAccepted(const Step& step) const {
    std::lock_guard lock(m_acceptedMutex);
    const auto accepted = m_accepted.constFind(acceptedKey(step.projectID, step.itemUniqueID));
    return accepted != m_accepted.constEnd() && accepted->isHTML == step.isHTML &&
           accepted->value == step.value;
}

bool CGPublishingPassSender::startAuthorization(Step step) {
    // A fresh token for every update; a refused authorization drops the update quietly.
    const QUrl url = m_controller.urls().authorization(m_controller.m_password);
    if (url.isEmpty())
        return false;
    return startRequest(m_controller.authorizationRequest(url),
                        [this, step = std::move(step)](platform::http::Response response) mutable {
                            if (endIfStopped())
                                return;
                            const auto token =
                                CGServerWire::authorizationToken(SynchronousRequests::answerJSON(response));
                            if (token) {
                                {
                                    std::lock_guard lock(m_controller.m_mutex);
                                    m_controller.m_authorizationToken = token;
                                }
                                if (startUpdate(std::move(step), token))
                                    return;
                            }
                            next();
                        });
}

bool CGPublishingPassSender::startUpdate(Step step, const std::optional<QString>& token) {
    const QUrl url = m_controller.urls().update(step.projectID, step.itemUniqueID, token);
    if (url.isEmpty())
        return false;
    platform::http::Request request = m_controller.textUpdateRequest(url, step.value, step.isHTML);
    return startRequest(std::move(request),
                        [this, step = std::move(step)](platform::http::Response response) {
                            if (endIfStopped())
                                return;
                            answered(step, response);
                            next();
                        });
}

void CGPublishingPassSender::answered(const Step& step, const platform::http::Response& response) {
    const bool accepted = m_controller.logUpdate(SynchronousRequests::answerJSON(response),
                                                 QStringLiteral("Successfully updated the CG Text Item: %@"),
                                                 QStringLiteral("Error updating the CG Text Item (%@)"),
                                                 CGServerWire::displayText(step.value));
    if (accepted)
        remember(step.projectID, step.itemUniqueID, step.value, step.isHTML);
    ++(accepted ? m_controller.m_updatesAccepted : m_controller.m_updatesFailed);
}

bool CGPublishingPassSender::startRequest(platform::http::Request request,
                                          std::function<void(platform::http::Response)> completion) {
    std::lock_guard lock(m_mutex);
    if (m_stopped) {
        // Ends the chain: whoever stops the sender waits for exactly this.
        m_running = false;
        m_idle.notify_all();
        return true;
    }
    m_task = m_client->startOnLoop(std::move(request), std::move(completion));
    return true;
}

bool CGPublishingPassSender::endIfStopped() {
    std::lock_guard lock(m_mutex);
    if (!m_stopped)
        return false;
    m_running = false;
    m_idle.notify_all();
    return true;
}

void CGPublishingPassSender::forget(const QString& projectID, const QString& itemUniqueID) {
    std::lock_guard lock(m_acceptedMutex);
    m_accepted.remove(acceptedKey(projectID, itemUniqueID));
}

void CGPublishingPassSender::remember(const QString& projectID, const QString& itemUniqueID,
                                      const platform::JsonValue& value, bool isHTML) {
    std::lock_guard lock(m_acceptedMutex);
    m_accepted.insert(acceptedKey(projectID, itemUniqueID), {value, isHTML});
}

void CGPublishingPassSender::forgetAll() {
    std::lock_guard lock(m_acceptedMutex);
    m_accepted.clear();
}

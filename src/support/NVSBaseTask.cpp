#include "support/NVSBaseTask.h"

#include "platform/MainQueue.h"

#include <QPointer>
#include <algorithm>
#include <cmath>

namespace {

// Runs `change` on the main queue unless `task` is gone by then.
template <typename Change> void onMainQueue(NVSBaseTask* task, Change change) {
    platform::MainQueue::dispatchAsync([guard = QPointer<NVSBaseTask>(task), change = std::move(change)] {
        if (guard)
            change(guard.data());
    });
}

} // namespace

NVSBaseTask::NVSBaseTask(QString taskName, QObject* parent)
    : QObject(parent), m_taskName(std::move(taskName)) {}

NVSBaseTask::~NVSBaseTask() = default;

QString NVSBaseTask::errorDescription() const {
    return m_error ? m_error->localizedDescription() : QString();
}

void NVSBaseTask::setShouldCancel(bool shouldCancel) {
    if (m_shouldCancel.exchange(shouldCancel, std::memory_order_acq_rel) != shouldCancel)
        Q_EMIT shouldCancelChanged();
}

QString NVSBaseTask::statusImage() const {
    switch (m_taskStatus) {
    case Done:
        return QStringLiteral("NewCheckmark");
    case Failed:
        return QStringLiteral("NewCross");
    default:
        return {};
    }
}

QString NVSBaseTask::statusIconName() const {
    switch (m_taskStatus) {
    case Done:
        return QStringLiteral("emblem-ok-symbolic");
    case Failed:
        return QStringLiteral("dialog-error-symbolic");
    default:
        return {};
    }
}

void NVSBaseTask::setStatusAsynchronouslyTo(int status, const QString& description) {
    onMainQueue(this, [status, description](NVSBaseTask* task) {
        if (task->m_taskStatus != status) {
            task->m_taskStatus = status;
            Q_EMIT task->taskStatusChanged();
        }
        if (task->m_taskStatusString != description) {
            task->m_taskStatusString = description;
            Q_EMIT task->taskStatusStringChanged();
        }
    });
}

void NVSBaseTask::setRequiresProgressAsynchronouslyTo(bool requiresProgress) {
    onMainQueue(this, [requiresProgress](NVSBaseTask* task) {
        if (task->m_taskRequiresProgress != requiresProgress) {
            task->m_taskRequiresProgress = requiresProgress;
            Q_EMIT task->taskRequiresProgressChanged();
        }
    });
}

void NVSBaseTask::setProgressAsynchronouslyTo(double ratio) {
    const double clamped = std::isnan(ratio) ? 0.0 : std::clamp(ratio, 0.0, 1.0);
    onMainQueue(this, [clamped](NVSBaseTask* task) {
        if (task->m_taskProgressRatio != clamped) {
            task->m_taskProgressRatio = clamped;
            Q_EMIT task->taskProgressRatioChanged();
        }
    });
}

void NVSBaseTask::setError(std::optional<platform::Error> error) {
    const bool changed = m_error.has_value() || error.has_value();
    m_error = std::move(error);
    if (changed)
        Q_EMIT errorChanged();
}

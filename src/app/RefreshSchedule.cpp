#include "app/RefreshSchedule.h"

#include "platform/DispatchTimer.h"
#include "platform/HttpTask.h"
#include "platform/StringFormat.h"

#include <algorithm>

RefreshSchedule::RefreshSchedule() = default;

RefreshSchedule::~RefreshSchedule() {
    for (const auto& [sequence, task] : m_refreshTasks)
        task->cancel();
    for (const Task& task : m_inventoryTasks)
        task->cancel();
}

void RefreshSchedule::startTimer(std::chrono::milliseconds period, std::function<void()> tick) {
    stopTimer();
    m_timer = std::make_unique<platform::DispatchTimer>(std::move(tick));
    m_timer->schedule(period, period, std::chrono::seconds(5));
}

void RefreshSchedule::stopTimer() {
    m_timer.reset();
    m_due = false;
}

bool RefreshSchedule::isTimerRunning() const {
    return m_timer && m_timer->isScheduled();
}

bool RefreshSchedule::tickStarts(const std::function<void(bool waiting)>& paceChanged) {
    if (m_inFlight > 0) {
        m_due = true;
        if (!std::exchange(m_waiting, true))
            paceChanged(true);
        return false;
    }
    if (std::exchange(m_waiting, false))
        paceChanged(false);
    return true;
}

QString RefreshSchedule::paceText(bool waiting, const QString& name, double period) {
    return waiting ? platform::StringFormat::format(
                         QStringLiteral("The feed of “%@” answers more slowly than every %.1f seconds: timed "
                                        "refreshes wait for the one under way"),
                         name, period)
                   : platform::StringFormat::format(
                         QStringLiteral("The feed of “%@” keeps up with its refresh period again"), name);
}

quint64 RefreshSchedule::beginRefresh() {
    m_due = false;
    ++m_inFlight;
    return ++m_sequence;
}

quint64 RefreshSchedule::beginInventory() {
    std::erase_if(m_inventoryTasks, [](const Task& task) { return task->isFinished(); });
    return ++m_sequence;
}

void RefreshSchedule::trackRefresh(quint64 sequence, Task task) {
    if (task && !task->isFinished())
        m_refreshTasks.emplace(sequence, std::move(task));
}

void RefreshSchedule::trackInventory(Task task) {
    if (task)
        m_inventoryTasks.push_back(std::move(task));
}

void RefreshSchedule::abandonRefreshes() {
    for (auto& [sequence, task] : m_refreshTasks) {
        if (task->isFinished())
            continue;
        task->cancel();
        m_abandoned.insert(sequence);
    }
}

bool RefreshSchedule::refreshCounts(quint64 sequence) {
    m_refreshTasks.erase(sequence);
    if (m_abandoned.erase(sequence) == 0)
        return true;
    --m_inFlight;
    return false;
}

bool RefreshSchedule::take(quint64 sequence, quint64& newest, quint64* taken) {
    if (taken)
        *taken = newest;
    // A slow older response must not put stale values on air after a newer one.
    if (sequence < newest)
        return false;
    newest = sequence;
    return true;
}

bool RefreshSchedule::takeRefreshResult(quint64 sequence, quint64* newest) {
    return take(sequence, m_newestRefresh, newest);
}

bool RefreshSchedule::takeInventoryResult(quint64 sequence, quint64* newest) {
    return take(sequence, m_newestInventory, newest);
}

void RefreshSchedule::endRefresh(quint64 sequence, bool delivered) {
    --m_inFlight;
    if (sequence > m_newestEnded) {
        m_newestEnded = sequence;
        m_lastDelivered = delivered;
    }
}

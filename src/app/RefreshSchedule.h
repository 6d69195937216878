#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace platform {
class DispatchTimer;
namespace http {
class Task;
}
} // namespace platform

/// When a document's refreshes start and which of their results count. The timer's ticks never
/// put a second request on a slow feed: a tick that finds a refresh under way leaves one refresh
/// due, however many ticks pass, and it starts when the running one ends. Results are taken newest
/// first: one of an older fetch than one already taken is dropped. Fetches of an address the
/// document no longer has are abandoned: their results count for nothing.
class RefreshSchedule {
  public:
    using Task = std::shared_ptr<platform::http::Task>;

    RefreshSchedule();
    /// Cancels every fetch under way: their results find nothing.
    ~RefreshSchedule();
    RefreshSchedule(const RefreshSchedule&) = delete;
    RefreshSchedule& operator=(const RefreshSchedule&) = delete;

    /// Ticks every `period`, the first one period from now.
    void startTimer(std::chrono::milliseconds period, std::function<void()> tick);
    /// No more ticks, and no refresh left due by one.
    void stopTimer();
    bool isTimerRunning() const;

    /// A timer tick: true when a refresh should start now; otherwise one is due. `paceChanged`
    /// hears once when ticks start waiting (true) and once when the feed keeps up again (false).
    bool tickStarts(const std::function<void(bool waiting)>& paceChanged);
    /// The technical log's line for a change of pace of the feed of the document `name`, refreshed
    /// every `period` seconds.
    static QString paceText(bool waiting, const QString& name, double period);

    /// A refresh starts (a due one with it): its fetch's sequence number.
    quint64 beginRefresh();
    /// An inventory fetch starts: its sequence number, from the same count.
    quint64 beginInventory();
    void trackRefresh(quint64 sequence, Task task);
    void trackInventory(Task task);
    /// What the fetches under way bring is dropped without a word (the address changed).
    void abandonRefreshes();

    /// A refresh's fetch is done: false when it was abandoned (the refresh is then over).
    bool refreshCounts(quint64 sequence);
    /// Whether a refresh's (or an inventory's) result is not older than one already taken; then
    /// it is the newest. `newest` gets the one already taken.
    bool takeRefreshResult(quint64 sequence, quint64* newest);
    bool takeInventoryResult(quint64 sequence, quint64* newest);
    /// A refresh ended (`delivered`: a feed came).
    void endRefresh(quint64 sequence, bool delivered);
    /// The values came while the variables were being edited: one more refresh is due.
    void markDue() { m_due = true; }
    /// The due refresh starts when nothing is under way.
    bool dueRefreshStarts() const { return m_inFlight == 0 && m_due; }

    bool isRefreshing() const { return m_inFlight > 0; }
    bool isDue() const { return m_due; }
    std::optional<bool> lastRefreshDelivered() const { return m_lastDelivered; }

  private:
    static bool take(quint64 sequence, quint64& newest, quint64* taken);

    std::unique_ptr<platform::DispatchTimer> m_timer;
    std::map<quint64, Task> m_refreshTasks;
    std::set<quint64> m_abandoned;
    std::vector<Task> m_inventoryTasks;
    quint64 m_sequence = 0;
    quint64 m_newestRefresh = 0;
    quint64 m_newestInventory = 0;
    quint64 m_newestEnded = 0;
    int m_inFlight = 0;
    bool m_due = false;
    bool m_waiting = false;
    std::optional<bool> m_lastDelivered;
};

#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

/// A serial queue: one worker thread runs submitted work in FIFO order, one item at a time.
///
/// `cancelAll()` drops every item not yet started and raises the cancellation flag of the running
/// one, which long work polls through the `CancellationFlag` it receives. The destructor cancels
/// nothing: it lets queued work finish, then joins (call `cancelAll()` first for a quick exit).
/// All members are callable from any thread except `waitUntilIdle()` from the worker itself.
class SerialExecutor {
  public:
    using CancellationFlag = std::shared_ptr<const std::atomic<bool>>;
    using Work = std::function<void(const CancellationFlag&)>;

    explicit SerialExecutor(QString label);
    ~SerialExecutor();
    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    const QString& label() const { return m_label; }

    void async(std::function<void()> work);
    void async(Work work);
    /// Runs `work` on the worker and waits for it (and everything queued before it).
    void sync(const std::function<void()>& work);
    void cancelAll();
    /// Blocks until the queue is empty and nothing runs.
    void waitUntilIdle();
    /// Number of items queued or running.
    std::size_t pendingCount() const;
    bool isCurrentThread() const { return std::this_thread::get_id() == m_worker.get_id(); }

  private:
    struct Item {
        Work work;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };
    void run();

    QString m_label;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Item> m_items;
    std::shared_ptr<std::atomic<bool>> m_runningCancelled;
    bool m_running = false;
    bool m_stopping = false;
    std::thread m_worker;
};

} // namespace platform

#include "platform/SerialExecutor.h"

#include <pthread.h>

namespace platform {

SerialExecutor::SerialExecutor(QString label) : m_label(std::move(label)) {
    m_worker = std::thread([this] { run(); });
    // Thread names help in debuggers and crash reports; Linux caps them at 15 bytes.
    pthread_setname_np(m_worker.native_handle(), m_label.right(15).toUtf8().constData());
}

SerialExecutor::~SerialExecutor() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void SerialExecutor::async(std::function<void()> work) {
    async(Work([work = std::move(work)](const CancellationFlag&) { work(); }));
}

void SerialExecutor::async(Work work) {
    {
        std::lock_guard lock(m_mutex);
        m_items.push_back({std::move(work), std::make_shared<std::atomic<bool>>(false)});
    }
    m_wake.notify_one();
}

void SerialExecutor::sync(const std::function<void()>& work) {
    if (isCurrentThread()) {
        work();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneCondition;
    bool done = false;
    async([&] {
        work();
        std::lock_guard lock(doneMutex);
        done = true;
        doneCondition.notify_one();
    });
    std::unique_lock lock(doneMutex);
    doneCondition.wait(lock, [&] { return done; });
}

void SerialExecutor::cancelAll() {
    std::lock_guard lock(m_mutex);
    for (Item& item : m_items)
        item.cancelled->store(true);
    m_items.clear();
    if (m_runningCancelled)
        m_runningCancelled->store(true);
    if (!m_running)
        m_idle.notify_all();
}

void SerialExecutor::waitUntilIdle() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_items.empty() && !m_running; });
}

std::size_t SerialExecutor::pendingCount() const {
    std::lock_guard lock(m_mutex);
    return m_items.size() + (m_running ? 1 : 0);
}

void SerialExecutor::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_items.empty(); });
        if (m_items.empty()) {
            if (m_stopping)
                return;
            continue;
        }
        Item item = std::move(m_items.front());
        m_items.pop_front();
        m_running = true;
        m_runningCancelled = item.cancelled;
        lock.unlock();
        item.work(item.cancelled);
        item = {}; // release captured state outside the lock
        lock.lock();
        m_running = false;
        m_runningCancelled.reset();
        if (m_items.empty())
            m_idle.notify_all();
    }
}

} // namespace platform

#include "platform/BackgroundRelease.h"

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

namespace platform {

namespace {

class ReleaseThread {
  public:
    static ReleaseThread& instance() {
        // Never destroyed: releases may be handed over while static objects are torn down.
        static ReleaseThread* thread = [] {
            auto* made = new ReleaseThread;
            std::atexit([] { instance().stop(); });
            return made;
        }();
        return *thread;
    }

    void post(std::function<void()> release) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            m_pending.push_back(std::move(release));
            ++m_posted;
        }
        m_wake.notify_all();
    }

    void drain() {
        std::unique_lock lock(m_mutex);
        const unsigned long long target = m_posted;
        m_wake.wait(lock, [&] { return m_done >= target || m_stopping; });
    }

  private:
    ReleaseThread() : m_thread([this] { run(); }) { m_thread.detach(); }

    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return !m_pending.empty() || m_stopping; });
            if (m_stopping)
                return;
            std::function<void()> release = std::move(m_pending.front());
            m_pending.pop_front();
            m_releasing = true;
            lock.unlock();
            release();
            release = nullptr;
            lock.lock();
            m_releasing = false;
            ++m_done;
            m_wake.notify_all();
        }
    }

    // At exit: let the release under way end, skip the others.
    void stop() {
        std::unique_lock lock(m_mutex);
        m_stopping = true;
        m_wake.notify_all();
        m_wake.wait(lock, [&] { return !m_releasing; });
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_pending;
    unsigned long long m_posted = 0;
    unsigned long long m_done = 0;
    bool m_releasing = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace

void BackgroundRelease::post(std::function<void()> release) {
    ReleaseThread::instance().post(std::move(release));
}

void BackgroundRelease::drain() {
    ReleaseThread::instance().drain();
}

} // namespace platform

#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <mutex>

/// Hands work from any thread to the event loop of one receiver's thread, for as long as the
/// receiver is open: after close() nothing more is delivered, and a post says so, so that the
/// poster can keep what must not be released on its own thread. Shared by the posters.
class ThreadMailbox {
  public:
    explicit ThreadMailbox(QObject* receiver) : m_receiver(receiver) {}

    /// Queues `work` on the receiver's thread; false (and `work` untouched) once closed.
    bool post(std::function<void()>& work) {
        std::lock_guard lock(m_mutex);
        if (!m_receiver)
            return false;
        QMetaObject::invokeMethod(m_receiver, std::move(work), Qt::QueuedConnection);
        return true;
    }
    /// Work already queued is dropped with the receiver, on its thread.
    void close() {
        std::lock_guard lock(m_mutex);
        m_receiver = nullptr;
    }

  private:
    std::mutex m_mutex;
    QObject* m_receiver;
};

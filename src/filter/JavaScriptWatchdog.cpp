#include "filter/JavaScriptWatchdog.h"

#include <QJSEngine>

JavaScriptWatchdog::JavaScriptWatchdog(QJSEngine& engine, std::chrono::milliseconds limit)
    : m_engine(engine), m_thread([this, limit] {
          std::unique_lock lock(m_mutex);
          if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
              m_fired = true;
              m_engine.setInterrupted(true);
          }
      }) {}

JavaScriptWatchdog::~JavaScriptWatchdog() {
    stop();
}

bool JavaScriptWatchdog::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_done.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
        if (m_fired)
            m_engine.setInterrupted(false);
    }
    return m_fired;
}

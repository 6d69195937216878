#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class QJSEngine;

/// Interrupts an engine when the script it runs outlives its limit. Scope it around one call
/// into the engine: leaving the scope in time stops it without interrupting. After it fired the
/// engine is ready for the next call again.
class JavaScriptWatchdog {
  public:
    JavaScriptWatchdog(QJSEngine& engine, std::chrono::milliseconds limit);
    ~JavaScriptWatchdog();
    JavaScriptWatchdog(const JavaScriptWatchdog&) = delete;
    JavaScriptWatchdog& operator=(const JavaScriptWatchdog&) = delete;

    /// Ends the watch; returns whether the engine was interrupted.
    bool stop();

  private:
    QJSEngine& m_engine;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    bool m_fired = false;
    std::thread m_thread;
};

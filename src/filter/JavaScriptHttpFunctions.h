#pragma once

#include <QJSValue>
#include <QObject>
#include <chrono>
#include <functional>
#include <memory>

class QJSEngine;
class ThreadMailbox;
namespace platform::http {
class Client;
}

/// httpGet and httpPost of a filter's engine. Requests run on the HTTP client's transfer loop;
/// each callback is called on the engine's thread (through the filter's mailbox) with (error,
/// body), under the filter's time limit, and holds the engine until it has run.
class JavaScriptHttpFunctions : public QObject {
    Q_OBJECT
  public:
    /// What the runs of one document's filter share with their callbacks, which may outlive the
    /// filter. The engine's thread only.
    struct SharedState {
        /// Requests under way.
        int outstanding = 0;
        /// Where an interrupted callback is logged (level 1); cleared when the filter goes away.
        std::function<void(const QString&)> log;
    };

    struct Limits {
        /// Bounds each callback; one that overruns is interrupted and logged at level 1.
        std::chrono::milliseconds callbackTimeLimit;
        qint64 maximumResponseSize;
        /// Requests under way at once, counted in `state`.
        int maximumOutstanding;
        std::shared_ptr<SharedState> state;
        /// Named in the log line of an interrupted callback.
        QString scriptPath;
        /// Delivers callbacks to the engine's thread.
        std::shared_ptr<ThreadMailbox> mailbox;
    };

    static inline const QString TooManyRequestsError = QStringLiteral("Too many outstanding requests");

    JavaScriptHttpFunctions(std::shared_ptr<QJSEngine> engine, std::weak_ptr<platform::http::Client> http,
                            Limits limits);

    /// Defines the globals httpGet and httpPost of the engine.
    static void install(const std::shared_ptr<QJSEngine>& engine, std::weak_ptr<platform::http::Client> http,
                        Limits limits);

    Q_INVOKABLE void httpGet(const QJSValue& url, const QJSValue& callback);
    Q_INVOKABLE void httpPost(const QJSValue& url, const QJSValue& body, const QJSValue& callback);

  private:
    void send(const QJSValue& url, const QByteArray& method, const QByteArray& body,
              const QJSValue& callback);

    std::weak_ptr<QJSEngine> m_engine;
    std::weak_ptr<platform::http::Client> m_http;
    Limits m_limits;
};

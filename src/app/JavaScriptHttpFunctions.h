#pragma once

#include <QJSValue>
#include <QObject>
#include <memory>

class QJSEngine;
namespace platform::http {
class Client;
}

/// httpGet and httpPost of a filter run's engine. Requests run on the HTTP client's workers; each
/// callback is called on the main thread with (error, body) and holds the engine until it has run.
class JavaScriptHttpFunctions : public QObject {
    Q_OBJECT
public:
    JavaScriptHttpFunctions(std::shared_ptr<QJSEngine> engine, std::shared_ptr<platform::http::Client> http);

    /// Defines the globals httpGet and httpPost of the engine.
    static void install(const std::shared_ptr<QJSEngine>& engine, std::shared_ptr<platform::http::Client> http);

    Q_INVOKABLE void httpGet(const QJSValue& url, const QJSValue& callback);
    Q_INVOKABLE void httpPost(const QJSValue& url, const QJSValue& body, const QJSValue& callback);

private:
    void send(const QJSValue& url, const QByteArray& method, const QByteArray& body, const QJSValue& callback);

    std::weak_ptr<QJSEngine> m_engine;
    std::shared_ptr<platform::http::Client> m_http;
};

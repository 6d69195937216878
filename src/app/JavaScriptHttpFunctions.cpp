#include "app/JavaScriptHttpFunctions.h"

#include "platform/HttpClient.h"
#include "platform/MainQueue.h"

#include <QJSEngine>
#include <QUrl>

namespace {

/// What a callback needs on the main thread. Created and destroyed there only: JS values must
/// not be released on another thread.
struct PendingCallback {
    std::shared_ptr<QJSEngine> engine;
    QJSValue callback;
};

void call(const PendingCallback& pending, const QJSValue& error, const QJSValue& body) {
    if (pending.callback.isCallable())
        pending.callback.call({error, body});
}

} // namespace

JavaScriptHttpFunctions::JavaScriptHttpFunctions(std::shared_ptr<QJSEngine> engine,
                                                 std::shared_ptr<platform::http::Client> http)
    : m_engine(engine), m_http(std::move(http)) {}

void JavaScriptHttpFunctions::install(const std::shared_ptr<QJSEngine>& engine,
                                      std::shared_ptr<platform::http::Client> http) {
    // Owned by the engine through the JS wrapper; lives as long as the engine.
    auto* functions = new JavaScriptHttpFunctions(engine, std::move(http));
    QJSValue wrapper = engine->newQObject(functions);
    QJSValue global = engine->globalObject();
    global.setProperty(QStringLiteral("httpGet"), wrapper.property(QStringLiteral("httpGet")));
    global.setProperty(QStringLiteral("httpPost"), wrapper.property(QStringLiteral("httpPost")));
    // Keep the wrapper reachable so the bound methods keep their object.
    global.setProperty(QStringLiteral("__graflinkHttp"), wrapper);
}

void JavaScriptHttpFunctions::httpGet(const QJSValue& url, const QJSValue& callback) {
    send(url, QByteArrayLiteral("GET"), QByteArray(), callback);
}

void JavaScriptHttpFunctions::httpPost(const QJSValue& url, const QJSValue& body, const QJSValue& callback) {
    send(url, QByteArrayLiteral("POST"), body.toString().toUtf8(), callback);
}

void JavaScriptHttpFunctions::send(const QJSValue& url, const QByteArray& method, const QByteArray& body,
                                   const QJSValue& callback) {
    std::shared_ptr<QJSEngine> engine = m_engine.lock();
    if (!engine)
        return;
    const QUrl parsed(url.toString(), QUrl::StrictMode);
    if (!url.isString() || !parsed.isValid() || parsed.scheme().isEmpty()) {
        // Called back before the function returns, as the script expects.
        call({engine, callback}, QJSValue(QStringLiteral("Invalid URL")), QJSValue(QJSValue::NullValue));
        return;
    }
    platform::http::Request request(parsed, method);
    request.body = body;
    auto pending = std::make_shared<PendingCallback>(PendingCallback{engine, callback});
    m_http->start(request, [pending](platform::http::Response response) mutable {
        // Hand everything to the main thread; nothing JS-related is released on this worker.
        platform::MainQueue::dispatchAsync([pending = std::move(pending), response = std::move(response)] {
            if (response.error)
                call(*pending, QJSValue(response.error->localizedDescription()), QJSValue(QJSValue::NullValue));
            else
                call(*pending, QJSValue(QJSValue::NullValue), QJSValue(QString::fromUtf8(response.body)));
        });
    });
}

#include "filter/JavaScriptHttpFunctions.h"

#include "app/ThreadMailbox.h"
#include "filter/JavaScriptWatchdog.h"
#include "platform/HttpClient.h"
#include "platform/StringFormat.h"

#include <QJSEngine>
#include <QThread>
#include <QUrl>

namespace {

/// What a callback needs on the engine's thread. JS values must not be released on another
/// thread: one whose engine's thread has ended is left to the end of the process.
struct PendingCallback {
    std::shared_ptr<QJSEngine> engine;
    QJSValue callback;

    static std::shared_ptr<PendingCallback> releasedOnEngineThread(std::shared_ptr<QJSEngine> engine,
                                                                   QJSValue callback) {
        return std::shared_ptr<PendingCallback>(new PendingCallback{std::move(engine), std::move(callback)},
                                                [](PendingCallback* pending) {
                                                    if (QThread::currentThread() == pending->engine->thread())
                                                        delete pending;
                                                });
    }
};

/// Calls the callback with the two arguments; returns whether the time limit interrupted it.
bool call(const PendingCallback& pending, const QJSValue& error, const QJSValue& body,
          std::chrono::milliseconds timeLimit) {
    if (!pending.callback.isCallable())
        return false;
    JavaScriptWatchdog watchdog(*pending.engine, timeLimit);
    QJSValue callback = pending.callback;
    callback.call({error, body});
    return watchdog.stop();
}

} // namespace

JavaScriptHttpFunctions::JavaScriptHttpFunctions(std::shared_ptr<QJSEngine> engine,
                                                 std::weak_ptr<platform::http::Client> http, Limits limits)
    : m_engine(engine), m_http(std::move(http)), m_limits(std::move(limits)) {}

void JavaScriptHttpFunctions::install(const std::shared_ptr<QJSEngine>& engine,
                                      std::weak_ptr<platform::http::Client> http, Limits limits) {
    // Owned by the engine through the JS wrapper; lives as long as the engine.
    auto* functions = new JavaScriptHttpFunctions(engine, std::move(http), std::move(limits));
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
    // Called back before the function returns, as the script expects; it runs inside the script's
    // own call, under the run's watchdog.
    const auto refuse = [&](const QString& reason) {
        QJSValue function = callback;
        if (function.isCallable())
            function.call({QJSValue(reason), QJSValue(QJSValue::NullValue)});
    };
    const QUrl parsed(url.toString(), QUrl::StrictMode);
    if (!url.isString() || !parsed.isValid() || parsed.scheme().isEmpty()) {
        refuse(QStringLiteral("Invalid URL"));
        return;
    }
    const std::shared_ptr<platform::http::Client> http = m_http.lock();
    if (!http) {
        refuse(QStringLiteral("cancelled"));
        return;
    }
    if (m_limits.state->outstanding >= m_limits.maximumOutstanding) {
        refuse(TooManyRequestsError);
        return;
    }
    ++m_limits.state->outstanding;
    platform::http::Request request(parsed, method);
    request.body = body;
    request.maximumResponseSize = m_limits.maximumResponseSize;
    auto pending = PendingCallback::releasedOnEngineThread(engine, callback);
    const Limits limits = m_limits;
    http->start(request, [pending, limits](platform::http::Response response) mutable {
        // Hand everything to the engine's thread; nothing JS-related is released on this worker.
        std::function<void()> deliver = [pending = std::move(pending), response = std::move(response),
                                         limits] {
            --limits.state->outstanding;
            const bool interrupted =
                response.error ? call(*pending, QJSValue(response.error->localizedDescription()),
                                      QJSValue(QJSValue::NullValue), limits.callbackTimeLimit)
                               : call(*pending, QJSValue(QJSValue::NullValue),
                                      QJSValue(QString::fromUtf8(response.body)), limits.callbackTimeLimit);
            if (interrupted && limits.state->log) {
                limits.state->log(platform::StringFormat::format(
                    QStringLiteral("JavaScript filter callback interrupted after %.1f seconds: %@"),
                    static_cast<double>(limits.callbackTimeLimit.count()) / 1000.0, limits.scriptPath));
            }
        };
        limits.mailbox->post(deliver);
    });
}

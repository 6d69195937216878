#include "app/JavaScriptFilter.h"

#include "app/GraflinkVariable.h"
#include "app/JavaScriptHttpFunctions.h"
#include "app/JavaScriptWatchdog.h"
#include "appbase/NVSLogController.h"
#include "platform/HttpClient.h"

#include <QCoreApplication>
#include <QFile>
#include <QJSEngine>
#include <QThread>
#include <nlohmann/json.hpp>

namespace {

QJSValue toScript(QJSEngine& engine, const std::optional<platform::JsonValue>& value);

QJSValue toScript(QJSEngine& engine, const platform::JsonValue& value) {
    switch (value.type()) {
    case nlohmann::ordered_json::value_t::null:
        return QJSValue(QJSValue::NullValue);
    case nlohmann::ordered_json::value_t::boolean:
        return QJSValue(value.get<bool>());
    case nlohmann::ordered_json::value_t::number_integer:
    case nlohmann::ordered_json::value_t::number_unsigned:
    case nlohmann::ordered_json::value_t::number_float:
        return QJSValue(value.get<double>());
    case nlohmann::ordered_json::value_t::string:
        return QJSValue(QString::fromStdString(value.get_ref<const std::string&>()));
    case nlohmann::ordered_json::value_t::array: {
        QJSValue array = engine.newArray(static_cast<uint>(value.size()));
        quint32 index = 0;
        for (const auto& element : value)
            array.setProperty(index++, toScript(engine, element));
        return array;
    }
    case nlohmann::ordered_json::value_t::object: {
        // Members in the feed's order.
        QJSValue object = engine.newObject();
        for (const auto& [key, member] : value.items())
            object.setProperty(QString::fromStdString(key), toScript(engine, member));
        return object;
    }
    default:
        return QJSValue();
    }
}

QJSValue toScript(QJSEngine& engine, const std::optional<platform::JsonValue>& value) {
    return value ? toScript(engine, *value) : QJSValue(QJSValue::UndefinedValue);
}

} // namespace

JavaScriptFilter::JavaScriptFilter(std::shared_ptr<platform::http::Client> http, NVSLogController& logger)
    : m_http(std::move(http)), m_logger(logger),
      m_httpState(std::make_shared<JavaScriptHttpFunctions::SharedState>()) {
    m_httpState->logger = &m_logger;
}

JavaScriptFilter::~JavaScriptFilter() {
    // A callback that arrives after the document is gone must not reach its logger.
    m_httpState->logger = nullptr;
}

QString JavaScriptFilter::globalName(const QString& path) {
    return QString(path).replace(QLatin1Char('/'), QLatin1Char('_'));
}

JavaScriptFilter::Outcome JavaScriptFilter::run(const QString& scriptPath,
                                                const QList<GraflinkVariable*>& variables, Limits limits) {
    const std::chrono::milliseconds timeLimit = limits.timeLimit;
    QFile file(scriptPath);
    if (scriptPath.isEmpty() || !file.open(QIODevice::ReadOnly))
        return Outcome::NotRun;
    const QString script = QString::fromUtf8(file.readAll());
    if (script.isEmpty())
        return Outcome::NotRun;

    // Shared with pending HTTP callbacks, which keep it alive after the run.
    std::shared_ptr<QJSEngine> engine(new QJSEngine, [](QJSEngine* e) {
        // A callback still queued when the application ends is destroyed while Qt holds its event
        // lists: deleting (or posting) then would deadlock, and the process is ending anyway.
        if (QCoreApplication::closingDown())
            return;
        if (QThread::currentThread() == e->thread())
            delete e;
        else
            e->deleteLater();
    });
    engine->installExtensions(QJSEngine::ConsoleExtension);
    JavaScriptHttpFunctions::install(
        engine, m_http,
        {timeLimit, limits.maximumResponseSize, MaximumOutstandingRequests, m_httpState, scriptPath});

    QList<GraflinkVariable*> filtered;
    QJSValue global = engine->globalObject();
    for (GraflinkVariable* variable : variables) {
        if (!variable->XPath() || variable->XPath()->isEmpty())
            continue; // no path, no global name
        filtered.append(variable);
        global.setProperty(globalName(*variable->XPath()), toScript(*engine, variable->currentStringValue()));
    }

    bool interrupted = false;
    {
        JavaScriptWatchdog watchdog(*engine, timeLimit);
        engine->evaluate(script, scriptPath);
        interrupted = watchdog.stop();
    }
    if (interrupted) {
        m_logger.logMessageWithLevel(1, false,
                                     QStringLiteral("JavaScript filter interrupted after %.1f seconds: %@"),
                                     static_cast<double>(timeLimit.count()) / 1000.0, scriptPath);
        return Outcome::Interrupted;
    }

    for (GraflinkVariable* variable : std::as_const(filtered)) {
        const QJSValue value = global.property(globalName(*variable->XPath()));
        if (!value.isUndefined())
            variable->setCurrentStringValue(platform::JsonValue(value.toString().toStdString()));
    }
    return Outcome::Ran;
}

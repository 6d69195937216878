#include "filter/JavaScriptFilter.h"

#include "app/ThreadMailbox.h"
#include "filter/JavaScriptHttpFunctions.h"
#include "filter/JavaScriptWatchdog.h"
#include "platform/HttpClient.h"
#include "platform/StringFormat.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJSEngine>
#include <QJSValueIterator>
#include <QSet>
#include <QThread>
#include <nlohmann/json.hpp>

namespace {

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

QStringList enumerableGlobals(QJSEngine& engine) {
    QStringList names;
    QJSValueIterator it(engine.globalObject());
    while (it.hasNext()) {
        it.next();
        names.append(it.name());
    }
    return names;
}

} // namespace

JavaScriptFilter::JavaScriptFilter(std::weak_ptr<platform::http::Client> http, LogLine log,
                                   std::shared_ptr<ThreadMailbox> mailbox)
    : m_http(std::move(http)), m_log(std::move(log)), m_mailbox(std::move(mailbox)),
      m_httpState(std::make_shared<JavaScriptHttpFunctions::SharedState>()) {
    m_httpState->log = m_log;
}

JavaScriptFilter::~JavaScriptFilter() {
    // A callback that arrives after the document is gone must not reach its log.
    m_httpState->log = nullptr;
    m_interruptible.store(nullptr);
}

QString JavaScriptFilter::globalName(const QString& path) {
    return QString(path).replace(QLatin1Char('/'), QLatin1Char('_'));
}

void JavaScriptFilter::interrupt() {
    m_closing.store(true);
    if (QJSEngine* engine = m_interruptible.load())
        engine->setInterrupted(true);
}

const QString& JavaScriptFilter::script(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) {
        m_script = ScriptFile{path, -1, QDateTime(), QString()};
        if (!path.isEmpty())
            reportProblem(QStringLiteral("JavaScript filter not found: %1").arg(path),
                          QStringLiteral("The filter %1 is not there: the values go out unfiltered.")
                              .arg(info.fileName()));
        return m_script.text;
    }
    const QDateTime modified = info.lastModified();
    if (m_script.path == path && m_script.size == info.size() && m_script.modified == modified) {
        if (m_script.readable)
            m_problem.clear();
        return m_script.text;
    }
    QFile file(path);
    const bool readable = file.open(QIODevice::ReadOnly);
    m_script = ScriptFile{path, info.size(), modified, QString(), readable};
    if (!readable) {
        reportProblem(
            QStringLiteral("JavaScript filter could not be read: %1 (%2)").arg(path, file.errorString()),
            QStringLiteral("The filter %1 could not be read (%2): the values go out unfiltered.")
                .arg(info.fileName(), file.errorString()));
        return m_script.text;
    }
    ++m_scriptReads;
    m_script.text = QString::fromUtf8(file.readAll());
    m_problem.clear();
    return m_script.text;
}

void JavaScriptFilter::reportProblem(const QString& logLine, const QString& problem) {
    // Once per change: every refresh meets the same missing file.
    if (m_problem != problem && m_log)
        m_log(logLine);
    m_problem = problem;
}

void JavaScriptFilter::makeEngine(Limits limits) {
    // Shared with pending HTTP callbacks, which keep it alive after the filter is gone.
    m_engine.reset(new QJSEngine, [](QJSEngine* e) {
        // A callback still queued when the application ends is destroyed while Qt holds its event
        // lists: deleting (or posting) then would deadlock, and the process is ending anyway.
        if (QCoreApplication::closingDown())
            return;
        if (QThread::currentThread() == e->thread())
            delete e;
        else
            e->deleteLater();
    });
    ++m_enginesMade;
    m_engine->installExtensions(QJSEngine::ConsoleExtension);
    JavaScriptHttpFunctions::install(m_engine, m_http,
                                     {limits.timeLimit, limits.maximumResponseSize,
                                      MaximumOutstandingRequests, m_httpState, m_script.path, m_mailbox});
    m_initialGlobals = enumerableGlobals(*m_engine);
    m_interruptible.store(m_engine.get());
    if (m_closing.load())
        m_engine->setInterrupted(true);
}

void JavaScriptFilter::resetGlobals() {
    // Globals made by an earlier run cannot all be deleted (a `var` is permanent), so they are
    // made undefined: the script sees what a fresh engine would show it.
    const QSet<QString> initial(m_initialGlobals.cbegin(), m_initialGlobals.cend());
    QJSValue global = m_engine->globalObject();
    for (const QString& name : enumerableGlobals(*m_engine))
        if (!initial.contains(name) && !global.deleteProperty(name))
            global.setProperty(name, QJSValue(QJSValue::UndefinedValue));
}

JavaScriptFilter::Outcome JavaScriptFilter::run(const QString& scriptPath, VariableBindings& bindings,
                                                Limits limits) {
    const std::chrono::milliseconds timeLimit = limits.timeLimit;
    const QString& text = script(scriptPath);
    if (text.isEmpty() || m_closing.load())
        return Outcome::NotRun;
    if (!m_engine)
        makeEngine(limits);
    else
        resetGlobals();

    QJSValue global = m_engine->globalObject();
    for (const VariableBinding& binding : bindings) {
        if (binding.hasPath()) // no path, no global name
            global.setProperty(globalName(*binding.path), toScript(*m_engine, binding.value));
    }

    bool interrupted = false;
    {
        JavaScriptWatchdog watchdog(*m_engine, timeLimit);
        m_engine->evaluate(text, scriptPath);
        interrupted = watchdog.stop();
    }
    if (interrupted || m_closing.load()) {
        if (m_log)
            m_log(platform::StringFormat::format(
                QStringLiteral("JavaScript filter interrupted after %.1f seconds: %@"),
                static_cast<double>(timeLimit.count()) / 1000.0, scriptPath));
        return Outcome::Interrupted;
    }

    for (VariableBinding& binding : bindings) {
        if (!binding.hasPath())
            continue;
        const QJSValue value = global.property(globalName(*binding.path));
        if (!value.isUndefined())
            binding.take(platform::JsonValue(value.toString().toStdString()));
    }
    return Outcome::Ran;
}

/// The module's entry point (ScriptFilter::make).
extern "C" __attribute__((visibility("default"))) ScriptFilter*
graflink_make_script_filter(std::weak_ptr<platform::http::Client> http, ScriptFilter::LogLine log,
                            std::shared_ptr<ThreadMailbox> mailbox) {
    return new JavaScriptFilter(std::move(http), std::move(log), std::move(mailbox));
}

#include "rack/ControlSnapshot.h"

#include "app/FeedFreshness.h"
#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "platform/Json.h"
#include "rack/DocumentHealth.h"

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

Json text(const QString& value) {
    return value.toStdString();
}

Json optionalText(const std::optional<QString>& value) {
    return value ? text(*value) : Json(nullptr);
}

Json time(const QDateTime& at) {
    return at.isValid() ? text(at.toString(Qt::ISODateWithMs)) : Json(nullptr);
}

// A feed value as the page shows it: text as it is, other values in compact JSON, none as null.
Json shownValue(const std::optional<platform::JsonValue>& value) {
    if (!value)
        return nullptr;
    if (value->is_string())
        return *value;
    return value->dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

Json graflinkDetails(const GraflinkDocument& document, platform::MonotonicClock::TimePoint now) {
    const bool hasServer = !document.CGServerIPAddress().trimmed().isEmpty();
    Json details{{"cgServer", hasServer ? text(QStringLiteral("%1:%2")
                                                   .arg(document.CGServerIPAddress())
                                                   .arg(document.CGServerPortNumber()))
                                        : Json(nullptr)},
                 {"connected", document.isConnectedToCG()},
                 {"publishing", document.publishToCG()},
                 {"autoRefresh", document.autoRefresh()},
                 {"period", document.refreshFrequency()},
                 {"stale", document.freshness().isStale()}};
    const std::optional<qint64> since = document.freshness().secondsSinceLastSuccess(now);
    details["secondsSinceLastRefresh"] = since ? Json(*since) : Json(nullptr);
    Json variables = Json::array();
    for (const GraflinkVariable* variable : document.variables().variables()) {
        const std::optional<qint64> age = variable->valueAgeSeconds(now);
        variables.push_back(Json{{"path", optionalText(variable->XPath())},
                                 {"value", shownValue(variable->currentStringValue())},
                                 {"ageSeconds", age ? Json(*age) : Json(nullptr)},
                                 {"project", optionalText(variable->CGProjectName())},
                                 {"field", optionalText(variable->CGProjectItemName())}});
    }
    details["variables"] = std::move(variables);
    return details;
}

Json dataSourceDetails(const DocumentHealth& health, const NVSCGDataSource& dataSource) {
    Json details{{"autoRefresh", dataSource.autoUpdate()},
                 {"period", dataSource.autoUpdateFrequency()},
                 {"stale", false},
                 {"rows", dataSource.contentNodes().size()}};
    if (const auto& exported = health.lastExport())
        details["lastExport"] =
            Json{{"at", time(exported->at)},
                 {"path", text(exported->path)},
                 {"error", exported->error.isEmpty() ? Json(nullptr) : text(exported->error)}};
    else
        details["lastExport"] = nullptr;
    return details;
}

Json documentJson(std::size_t id, const DocumentHealth& health, platform::MonotonicClock::TimePoint now) {
    Json entry{{"id", id},
               {"name", text(health.name())},
               {"type", text(health.kind())},
               {"lastSuccessfulRefresh", time(health.lastSuccess())},
               {"lastError", health.lastError().isEmpty() ? Json(nullptr) : text(health.lastError())}};
    if (const GraflinkDocument* document = health.graflinkDocument())
        entry.update(graflinkDetails(*document, now));
    else if (const NVSCGDataSource* dataSource = health.dataSource())
        entry.update(dataSourceDetails(health, *dataSource));
    return entry;
}

} // namespace

ControlSnapshot::ControlSnapshot(std::function<std::vector<DocumentHealth*>()> documents, QObject* parent)
    : QObject(parent), m_documents(std::move(documents)) {
    watchNewDocuments(m_documents());
}

void ControlSnapshot::watchNewDocuments(const std::vector<DocumentHealth*>& documents) {
    for (std::size_t id = m_dirty.size(); id < documents.size(); ++id) {
        m_dirty.push_back(1);
        m_anyDirty = true;
        connect(documents[id], &DocumentHealth::changed, this, [this, id] {
            m_dirty[id] = 1;
            m_anyDirty = true;
            Q_EMIT changed();
        });
    }
}

void ControlSnapshot::documentsChanged() {
    const std::size_t watched = m_dirty.size();
    watchNewDocuments(m_documents());
    if (m_dirty.size() != watched)
        Q_EMIT changed();
}

QByteArray ControlSnapshot::everything(bool control) {
    const std::vector<DocumentHealth*> documents = m_documents();
    watchNewDocuments(documents);
    const platform::MonotonicClock::TimePoint now = platform::MonotonicClock::now();
    Json list = Json::array();
    for (std::size_t id = 0; id < documents.size(); ++id)
        list.push_back(documentJson(id, *documents[id], now));
    return platform::toJsonBytes(
        Json{{"type", "documents"}, {"control", control}, {"documents", std::move(list)}}, false);
}

QByteArray ControlSnapshot::changes() {
    if (!m_anyDirty)
        return QByteArray();
    const std::vector<DocumentHealth*> documents = m_documents();
    watchNewDocuments(documents);
    const platform::MonotonicClock::TimePoint now = platform::MonotonicClock::now();
    Json list = Json::array();
    for (std::size_t id = 0; id < documents.size(); ++id) {
        if (!m_dirty[id])
            continue;
        m_dirty[id] = 0;
        list.push_back(documentJson(id, *documents[id], now));
    }
    m_anyDirty = false;
    return platform::toJsonBytes(Json{{"type", "changes"}, {"documents", std::move(list)}}, false);
}

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

// A feed value as the page shows it: as the desktop window does, none as null.
Json shownValue(const std::optional<platform::JsonValue>& value) {
    return value ? text(platform::valueText(value)) : Json(nullptr);
}

// A point on the monotonic clock as seconds (millisecond steps) since `epoch`: stable between
// messages, so an unchanged document compares equal and the page counts ages on by itself.
Json tick(const std::optional<platform::MonotonicClock::TimePoint>& at,
          platform::MonotonicClock::TimePoint epoch) {
    if (!at)
        return nullptr;
    return double(std::chrono::duration_cast<std::chrono::milliseconds>(*at - epoch).count()) / 1000.0;
}

Json graflinkDetails(const GraflinkDocument& document, platform::MonotonicClock::TimePoint epoch) {
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
    details["lastRefreshAt"] = tick(document.freshness().lastSuccessTick(), epoch);
    Json variables = Json::array();
    for (const GraflinkVariable* variable : document.variables().variables()) {
        variables.push_back(Json{{"path", optionalText(variable->XPath())},
                                 {"value", shownValue(variable->currentStringValue())},
                                 {"changedAt", tick(variable->valueChangedTick(), epoch)},
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

Json documentJson(std::size_t id, const DocumentHealth& health, platform::MonotonicClock::TimePoint epoch) {
    Json entry{{"id", id},
               {"name", text(health.name())},
               {"type", text(health.kind())},
               {"lastSuccessfulRefresh", time(health.lastSuccess())},
               {"lastError", health.lastError().isEmpty() ? Json(nullptr) : text(health.lastError())}};
    if (const GraflinkDocument* document = health.graflinkDocument())
        entry.update(graflinkDetails(*document, epoch));
    else if (const NVSCGDataSource* dataSource = health.dataSource())
        entry.update(dataSourceDetails(health, *dataSource));
    return entry;
}

// What a page that shows `before` needs to show `after`: the members that differ, and of a list
// of variables of the same paths, projects and fields only the members of each that differ.
Json difference(std::size_t id, const Json& before, const Json& after) {
    Json delta{{"id", id}};
    for (const auto& [key, value] : after.items()) {
        const auto old = before.find(key);
        if (old != before.end() && *old == value)
            continue;
        if (key != "variables" || old == before.end() || old->size() != value.size()) {
            delta[key] = value;
            continue;
        }
        Json changes = Json::object();
        for (std::size_t index = 0; index < value.size(); ++index) {
            const Json& was = (*old)[index];
            const Json& is = value[index];
            if (was["path"] != is["path"] || was["project"] != is["project"] || was["field"] != is["field"]) {
                changes = nullptr; // another list: sent whole
                break;
            }
            Json change = Json::object();
            for (const char* member : {"value", "changedAt"})
                if (was[member] != is[member])
                    change[member] = is[member];
            if (!change.empty())
                changes[std::to_string(index)] = std::move(change);
        }
        if (changes.is_null())
            delta[key] = value;
        else
            delta["variableChanges"] = std::move(changes);
    }
    return delta;
}

} // namespace

ControlSnapshot::ControlSnapshot(std::function<std::vector<DocumentHealth*>()> documents, QObject* parent)
    : QObject(parent), m_documents(std::move(documents)), m_epoch(platform::MonotonicClock::now()) {
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

double ControlSnapshot::now() const {
    return tick(platform::MonotonicClock::now(), m_epoch).get<double>();
}

QByteArray ControlSnapshot::everything(bool control) {
    Json list = Json::array();
    for (const Json& document : m_told)
        list.push_back(document);
    return platform::toJsonBytes(
        Json{{"type", "documents"}, {"control", control}, {"now", now()}, {"documents", std::move(list)}},
        false);
}

QByteArray ControlSnapshot::changes() {
    if (!m_anyDirty)
        return QByteArray();
    const std::vector<DocumentHealth*> documents = m_documents();
    watchNewDocuments(documents);
    m_told.resize(documents.size());
    Json list = Json::array();
    for (std::size_t id = 0; id < documents.size(); ++id) {
        if (!m_dirty[id])
            continue;
        m_dirty[id] = 0;
        Json document = documentJson(id, *documents[id], m_epoch);
        Json delta = difference(id, m_told[id], document);
        m_told[id] = std::move(document);
        if (delta.size() > 1)
            list.push_back(std::move(delta));
    }
    m_anyDirty = false;
    if (list.empty())
        return QByteArray();
    return platform::toJsonBytes(Json{{"type", "changes"}, {"now", now()}, {"documents", std::move(list)}},
                                 false);
}

#include "cgsim/CGSimRequestHandler.h"

#include "cglink/CGServerAPI.h"

#include <QUrlQuery>
#include <QUuid>
#include <nlohmann/json.hpp>

namespace {

// Tokens are remembered so that any token handed out stays good; the cap keeps a long
// rehearsal from growing without bound.
constexpr qsizetype TokenLimit = 10000;

QString queryValue(const QByteArray& query, const QString& key) {
    return QUrlQuery(QString::fromUtf8(query)).queryItemValue(key, QUrl::FullyDecoded);
}

bool queryHas(const QByteArray& query, const QString& key) {
    return QUrlQuery(QString::fromUtf8(query)).hasQueryItem(key);
}

CGSimRequestHandler::Reply failure(int status, const QString& error) {
    return {status, CGSimWire::updateFailed(error)};
}

} // namespace

CGSimRequestHandler::CGSimRequestHandler(qint32 serverType, QString password, QList<CGSimProject> projects)
    : m_serverType(serverType), m_password(std::move(password)), m_projects(std::move(projects)) {}

QByteArray CGSimRequestHandler::webSocketPath() const {
    return '/' + CGServerAPI::webSocketPath(m_serverType).value_or(QString()).toUtf8();
}

CGSimRequestHandler::Reply CGSimRequestHandler::handle(const QByteArray& method,
                                                       const QByteArray& encodedPath, const QByteArray& query,
                                                       const QByteArray& body) {
    const QStringList segments = CGSimWire::pathSegments(encodedPath);
    const QStringList projectsPath =
        CGSimWire::pathSegments(CGServerAPI::projectsURLPath(m_serverType).toUtf8());
    const qsizetype base = projectsPath.size();
    const bool underProjects = segments.mid(0, base) == projectsPath;

    if (!segments.isEmpty() && segments.first() == QStringLiteral("admin") && segments.size() == 2)
        return admin(method, segments.at(1), body);
    if (segments.size() == 1 && (segments.first() == CGServerAPI::authorizationRequestVerb(m_serverType) ||
                                 segments.first() == QStringLiteral("unlock"))) {
        if (method != "GET")
            return failure(405, QStringLiteral("Method not allowed"));
        return authorize(query);
    }
    if (underProjects && segments.size() == base) {
        if (method != "GET")
            return failure(405, QStringLiteral("Method not allowed"));
        return {200, CGSimWire::projectListing(projects(), m_serverType)};
    }
    if (underProjects && segments.size() == base + 2 && segments.at(base + 1) == QStringLiteral("items")) {
        if (method != "GET")
            return failure(405, QStringLiteral("Method not allowed"));
        return listItems(segments.at(base));
    }
    if (underProjects && segments.size() == base + 3 && segments.at(base + 1) == QStringLiteral("items")) {
        if (method != "PUT")
            return failure(405, QStringLiteral("Method not allowed"));
        return update(segments.at(base), segments.at(base + 2), query, body);
    }
    return failure(404, QStringLiteral("Not found"));
}

CGSimRequestHandler::Reply CGSimRequestHandler::listItems(const QString& projectID) const {
    std::lock_guard lock(m_mutex);
    for (const CGSimProject& project : m_projects)
        if (project.uniqueID == projectID)
            return {200, CGSimWire::itemListing(project, m_serverType)};
    return failure(404, QStringLiteral("Project not found"));
}

CGSimRequestHandler::Reply CGSimRequestHandler::authorize(const QByteArray& query) {
    if (!m_password.isEmpty() && (!queryHas(query, QStringLiteral("password")) ||
                                  queryValue(query, QStringLiteral("password")) != m_password))
        return {401, CGSimWire::authorizationRefused(QStringLiteral("Wrong password"))};
    const QString token = QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::lock_guard lock(m_mutex);
    if (m_tokens.size() >= TokenLimit)
        m_tokens.clear();
    m_tokens.insert(token);
    return {200, CGSimWire::authorizationGranted(token)};
}

CGSimRequestHandler::Reply CGSimRequestHandler::update(const QString& projectID, const QString& itemID,
                                                       const QByteArray& query, const QByteArray& body) {
    AcceptedUpdate accepted;
    std::function<void(const AcceptedUpdate&)> observer;
    {
        std::lock_guard lock(m_mutex);
        if (!m_password.isEmpty() && !m_tokens.contains(queryValue(query, QStringLiteral("token"))))
            return failure(401, QStringLiteral("Invalid token"));
        const CGSimProject* project = nullptr;
        for (const CGSimProject& candidate : std::as_const(m_projects))
            if (candidate.uniqueID == projectID)
                project = &candidate;
        if (!project)
            return failure(404, QStringLiteral("Project not found"));
        const CGSimItem* item = nullptr;
        for (const CGSimItem& candidate : project->items)
            if (candidate.uniqueID == itemID)
                item = &candidate;
        if (!item)
            return failure(404, QStringLiteral("Item not found"));
        QString error;
        const auto parsed = CGSimWire::parseUpdateBody(body, m_serverType, &error);
        if (!parsed)
            return failure(400, error);
        accepted = AcceptedUpdate{project->name, project->uniqueID, item->name, item->uniqueID, *parsed};
        m_accepted.append(accepted);
        observer = m_updateObserver;
    }
    if (observer)
        observer(accepted);
    return {200, CGSimWire::updateSucceeded()};
}

CGSimRequestHandler::Reply CGSimRequestHandler::admin(const QByteArray& method, const QString& action,
                                                      const QByteArray& body) {
    if (action == QStringLiteral("projects") && method == "GET")
        return {200, CGSimProjectFile::serialize(projects())};
    if (action == QStringLiteral("projects") && (method == "PUT" || method == "POST")) {
        QString error;
        auto parsed = CGSimProjectFile::parse(body, &error);
        if (!parsed)
            return failure(400, error);
        setProjects(std::move(*parsed));
        return {200, CGSimWire::updateSucceeded()};
    }
    if (action == QStringLiteral("notify") && method == "POST") {
        std::function<void()> observer;
        {
            std::lock_guard lock(m_mutex);
            observer = m_projectsChangedObserver;
        }
        if (observer)
            observer();
        return {200, CGSimWire::updateSucceeded()};
    }
    if (action == QStringLiteral("updates") && method == "GET") {
        platform::JsonValue lines = platform::JsonValue::array();
        for (const AcceptedUpdate& accepted : acceptedUpdates())
            lines.push_back(platform::JsonValue::parse(accepted.jsonLine().toStdString()));
        return {200, platform::toJsonBytes(lines, true)};
    }
    return failure(404, QStringLiteral("Not found"));
}

QList<CGSimProject> CGSimRequestHandler::projects() const {
    std::lock_guard lock(m_mutex);
    return m_projects;
}

void CGSimRequestHandler::setProjects(QList<CGSimProject> projects) {
    std::function<void()> observer;
    {
        std::lock_guard lock(m_mutex);
        m_projects = std::move(projects);
        observer = m_projectsChangedObserver;
    }
    if (observer)
        observer();
}

QList<CGSimRequestHandler::AcceptedUpdate> CGSimRequestHandler::acceptedUpdates() const {
    std::lock_guard lock(m_mutex);
    return m_accepted;
}

void CGSimRequestHandler::clearAcceptedUpdates() {
    std::lock_guard lock(m_mutex);
    m_accepted.clear();
}

void CGSimRequestHandler::setUpdateObserver(std::function<void(const AcceptedUpdate&)> observer) {
    std::lock_guard lock(m_mutex);
    m_updateObserver = std::move(observer);
}

void CGSimRequestHandler::setProjectsChangedObserver(std::function<void()> observer) {
    std::lock_guard lock(m_mutex);
    m_projectsChangedObserver = std::move(observer);
}

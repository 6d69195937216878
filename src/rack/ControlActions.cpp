#include "rack/ControlActions.h"

#include "app/GraflinkDocument.h"
#include "appbase/NVSLogController.h"
#include "datasource/NVSCGDataSource.h"
#include "rack/DocumentHealth.h"

#include <array>

namespace {

struct ActionName {
    const char* path;
    ControlActions::Action action;
    const char* shown;
};
constexpr std::array<ActionName, 6> ActionNames{{
    {"update", ControlActions::Action::Update, "Update"},
    {"clear", ControlActions::Action::Clear, "Clear CG fields"},
    {"on-air", ControlActions::Action::OnAir, "ON AIR on"},
    {"off-air", ControlActions::Action::OffAir, "ON AIR off"},
    {"auto-refresh-on", ControlActions::Action::AutoRefreshOn, "Auto refresh on"},
    {"auto-refresh-off", ControlActions::Action::AutoRefreshOff, "Auto refresh off"},
}};

const QLatin1String Prefix("/documents/");

HandlerHttpServer::Reply answer(int status, const QString& text) {
    return {status, QByteArrayLiteral("text/plain; charset=utf-8"), text.toUtf8() + '\n'};
}

// The desktop window keeps a changed auto-refresh setting in the file (its autosave); so does
// the page.
void keepInFile(platform::Document& document, NVSLogController& logger) {
    platform::Error error;
    if (!document.filePath().isEmpty() && !document.save(&error))
        logger.logMessage(
            QStringLiteral("Could not save %1: %2").arg(document.displayName(), error.localizedDescription()),
            0, false);
}

} // namespace

bool ControlActions::isActionPath(const QString& path) {
    return path.startsWith(Prefix) || path == QLatin1String("/documents");
}

std::optional<ControlActions::Target> ControlActions::parse(const QString& path) {
    if (!path.startsWith(Prefix))
        return std::nullopt;
    const QStringList parts = path.mid(Prefix.size()).split(QLatin1Char('/'));
    if (parts.size() != 2 || parts[0].isEmpty() || parts[0].size() > 9)
        return std::nullopt;
    for (const QChar c : parts[0])
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    for (const ActionName& name : ActionNames)
        if (parts[1] == QLatin1String(name.path))
            return Target{parts[0].toULongLong(), name.action};
    return std::nullopt;
}

ControlActions::ControlActions(std::function<std::vector<DocumentHealth*>()> documents,
                               NVSLogController& logger)
    : m_documents(std::move(documents)), m_logger(logger) {}

HandlerHttpServer::Reply ControlActions::perform(const QString& path, const QHostAddress& client) const {
    const std::optional<Target> target = parse(path);
    if (!target)
        return answer(404, QStringLiteral("No such action: POST /documents/ID/ACTION, ACTION being update, "
                                          "clear, on-air, off-air, auto-refresh-on or auto-refresh-off."));
    const std::vector<DocumentHealth*> documents = m_documents();
    if (target->document >= documents.size())
        return answer(404, QStringLiteral("No open document has the id %1.").arg(target->document));
    DocumentHealth& health = *documents[target->document];
    GraflinkDocument* graflink = health.graflinkDocument();
    NVSCGDataSource* dataSource = health.dataSource();
    const Action action = target->action;
    const bool cgOnly = action == Action::Clear || action == Action::OnAir || action == Action::OffAir;
    if (!graflink && (cgOnly || !dataSource))
        return answer(409, QStringLiteral("%1 is a data source: it has no CG fields.").arg(health.name()));
    if (dataSource && action == Action::Update && dataSource->dataSourceURL().isEmpty())
        return answer(409, QStringLiteral("%1 has no feed address to refresh from.").arg(health.name()));

    const QHostAddress address = client.toIPv4Address() ? QHostAddress(client.toIPv4Address()) : client;
    const char* shown = "";
    for (const ActionName& name : ActionNames)
        if (name.action == action)
            shown = name.shown;
    m_logger.logMessage(QStringLiteral("Control page (%1): %2 of %3")
                            .arg(address.toString(), QLatin1String(shown), health.name()),
                        1, false);

    const bool on = action == Action::AutoRefreshOn;
    switch (action) {
    case Action::Update:
        if (graflink)
            graflink->refresh();
        else
            dataSource->refreshContent();
        break;
    case Action::Clear:
        graflink->clearCGAndGoOffAir();
        break;
    case Action::OnAir:
    case Action::OffAir:
        graflink->setPublishToCG(action == Action::OnAir);
        break;
    case Action::AutoRefreshOn:
    case Action::AutoRefreshOff:
        if (graflink && graflink->autoRefresh() != on) {
            graflink->setAutoRefresh(on);
            keepInFile(*graflink, m_logger);
        } else if (dataSource && dataSource->autoUpdate() != on) {
            dataSource->setAutoUpdate(on);
            keepInFile(*dataSource, m_logger);
        }
        break;
    }
    return answer(200, QStringLiteral("%1: %2").arg(health.name(), QLatin1String(shown)));
}

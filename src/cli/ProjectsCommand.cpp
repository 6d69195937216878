#include "cli/ProjectsCommand.h"

#include "appbase/NVSLogController.h"
#include "cglink/CGServerHTTPController.h"
#include "cglink/CGServerURLs.h"
#include "cglink/SynchronousRequests.h"
#include "cli/EventLoopWait.h"
#include "platform/RedactedText.h"
#include "platform/UserDefaults.h"

#include <nlohmann/json.hpp>

namespace cli {

QString ProjectsCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli projects HOST [--port N] [--type N] [--password P] [--json]\n\n"
        "Lists the CG server's projects and, indented below each, its items: name, unique identifier\n"
        "and (for items) type, TAB-separated. Port and type default to the user defaults\n"
        "\"CGServerPortNumber\" and \"CGServerType\". --json prints one array of\n"
        "{\"name\", \"uniqueID\", \"items\": [{\"name\", \"uniqueID\", \"type\"}]} (the simulator's "
        "projects\n"
        "file format). Exit status 1 when the server gives no project list.\n");
}

int ProjectsCommand::run(CliContext& context, const QStringList& arguments) {
    QString host;
    qint64 port = context.defaults.contains(QStringLiteral("CGServerPortNumber"))
                      ? context.defaults.integerForKey(QStringLiteral("CGServerPortNumber"))
                      : 2001;
    qint32 type = context.defaults.contains(QStringLiteral("CGServerType"))
                      ? qint32(context.defaults.integerForKey(QStringLiteral("CGServerType")))
                      : 1;
    QString password;
    bool json = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        bool ok = true;
        if (argument == QStringLiteral("--port") && hasValue) {
            port = arguments.at(++i).toLongLong(&ok);
            ok = ok && port > 0 && port <= 65535;
        } else if (argument == QStringLiteral("--type") && hasValue) {
            type = arguments.at(++i).toInt(&ok);
        } else if (argument == QStringLiteral("--password") && hasValue) {
            password = arguments.at(++i);
        } else if (argument == QStringLiteral("--json")) {
            json = true;
        } else if (!argument.startsWith(QStringLiteral("--")) && host.isEmpty()) {
            host = argument;
        } else {
            ok = false;
        }
        if (!ok) {
            context.err << "graflink-cli projects: unusable argument “" << argument << "”" << Qt::endl;
            return UsageError;
        }
    }
    if (host.isEmpty()) {
        context.err << "graflink-cli projects: needs a HOST" << Qt::endl;
        return UsageError;
    }

    // The client itself ends quietly on failure; ask once first so that a failure can be told.
    const QUrl listing = CGServerURLs(host, qint32(port), type).projects();
    platform::http::Request probe(listing);
    probe.requestTimeout = 5;
    const auto answer = listing.isEmpty() ? std::nullopt : SynchronousRequests::requestSynchronousJSON(probe);
    if (!answer || !answer->is_array()) {
        context.err << "graflink-cli projects: no project list from "
                    << (listing.isEmpty() ? host : platform::RedactedText::fromUrl(listing)) << Qt::endl;
        return Failure;
    }

    CGServerHTTPController::Options options;
    options.logger = &context.logger;
    CGServerHTTPController client(host, quint64(port), type, password, options);
    client.closeWebSockets();
    runEventLoopUntil([&] { return client.isIdle(); }, std::chrono::minutes(10));

    platform::JsonValue array = platform::JsonValue::array();
    for (const auto& project : client.projects()) {
        platform::JsonValue items = platform::JsonValue::array();
        if (!json)
            context.out << project->name().value_or(QString()) << '\t'
                        << project->uniqueID().value_or(QString()) << '\n';
        for (const auto& item : project->items()) {
            if (json)
                items.push_back({{"name", item->name().value_or(QString()).toStdString()},
                                 {"uniqueID", item->uniqueID().value_or(QString()).toStdString()},
                                 {"type", item->itemType().value_or(QString()).toStdString()}});
            else
                context.out << "  " << item->name().value_or(QString()) << '\t'
                            << item->uniqueID().value_or(QString()) << '\t'
                            << item->itemType().value_or(QString()) << '\n';
        }
        if (json)
            array.push_back({{"name", project->name().value_or(QString()).toStdString()},
                             {"uniqueID", project->uniqueID().value_or(QString()).toStdString()},
                             {"items", items}});
    }
    if (json)
        context.out << QString::fromUtf8(platform::toJsonBytes(array, true)) << '\n';
    context.out.flush();
    return Success;
}

} // namespace cli

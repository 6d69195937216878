#include "cli/RunCommand.h"

#include "app/AppDelegate.h"
#include "app/DataSourceAutoExporter.h"
#include "app/FeedFreshness.h"
#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "datasource/NVSCGDataSource.h"
#include "platform/DocumentController.h"
#include "platform/RedactedText.h"
#include "platform/StopSignalWaiter.h"
#include "rack/DocumentHealth.h"
#include "rack/StatusServer.h"

#include <QDateTime>
#include <QHostAddress>
#include <memory>
#include <vector>

namespace cli {

namespace {

QString timeStamp() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

/// What the desktop program does when it shows a document's window: connect it to its CG server;
/// here also one line per refresh.
void startRunning(CliContext& context, platform::Document& opened) {
    auto* document = qobject_cast<GraflinkDocument*>(&opened);
    if (!document) {
        context.out << "running " << opened.displayName() << " (data source)" << Qt::endl;
        return;
    }
    QObject::connect(
        document, &GraflinkDocument::refreshFinished, document, [&context, document](bool processed) {
            if (!processed) {
                const std::optional<qint64> since = document->freshness().secondsSinceLastSuccess();
                const bool watched = document->staleAfterSeconds() > 0;
                context.out << timeStamp() << '\t' << document->displayName()
                            << "\tno feed (see the technical log)"
                            << (since && watched ? QStringLiteral("; last data %1 s ago").arg(*since)
                                                 : QString())
                            << (document->freshness().isStale() ? QStringLiteral(", STALE") : QString())
                            << Qt::endl;
                return;
            }
            int withValue = 0;
            std::optional<qint64> oldest;
            for (const GraflinkVariable* variable : document->variables().variables()) {
                withValue += variable->currentStringValue().has_value();
                const std::optional<qint64> age = variable->valueAgeSeconds();
                if (age && document->staleAfterSeconds() > 0)
                    oldest = std::max(oldest.value_or(0), *age);
            }
            context.out << timeStamp() << '\t' << document->displayName() << "\trefreshed: " << withValue
                        << " of " << document->variables().count() << " values"
                        << (oldest ? QStringLiteral(" (oldest unchanged for %1 s)").arg(*oldest) : QString())
                        << (document->publishToCG() && document->hasCGClient() ? ", published" : "")
                        << (document->isConnectedToCG() ? "" : " (CG server not connected)") << Qt::endl;
        });
    if (!document->CGServerIPAddress().trimmed().isEmpty())
        document->applyCGServerSettings();
    context.out << "running " << document->displayName() << " ("
                << platform::RedactedText::fromText(document->sourceURLString().value_or(QString()))
                << (document->autoRefresh() ? QStringLiteral(", every %1 s").arg(document->refreshFrequency())
                                            : QStringLiteral(", auto refresh off"))
                << ")" << Qt::endl;
}

} // namespace

QString RunCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli run [--reopen] [--status-port N [--status-address ADDR] [--status-token-env "
        "VAR]]\n"
        "                        DOC...\n\n"
        "Opens every document (Graflink documents and data sources), connects each to its CG server\n"
        "and runs them as the desktop program would with their windows open: refresh timers,\n"
        "publishing, actions, reconnection after the CG server goes away, automatic playlist export\n"
        "of data sources. Prints one line per refresh per document. Stops cleanly on SIGINT or\n"
        "SIGTERM.\n\n"
        "  --reopen   also open the documents that were open at the last stop "
        "(\"LastOpenedDocumentPaths\"),\n"
        "             and store the open documents' paths there at a clean stop, as the desktop\n"
        "             program does; a rack machine restarted by its service manager picks up where it was\n"
        "  --status-port N\n"
        "             serve GET /status (JSON per document), GET /metrics (Prometheus text format) and\n"
        "             the control page at / (documents live, with Update, Clear, ON AIR and auto\n"
        "             refresh buttons; its web socket is /live, its actions POST /documents/ID/ACTION)\n"
        "             on port N (0: any free one; the address is printed)\n"
        "  --status-address ADDR\n"
        "             listen on ADDR instead of 127.0.0.1; an address beyond loopback needs\n"
        "             --status-token-env, since the answers name documents' paths and errors\n"
        "  --status-token-env VAR\n"
        "             requests must send \"Authorization: Bearer TOKEN\", TOKEN being the value of the\n"
        "             environment variable VAR (401 otherwise); the control page's buttons work only\n"
        "             with it (the page asks for the token once)\n");
}

bool RunCommand::restoresDocuments(const QStringList& arguments) const {
    return arguments.contains(QStringLiteral("--reopen"));
}

int RunCommand::run(CliContext& context, const QStringList& arguments) {
    QStringList paths;
    std::optional<quint16> statusPort;
    QHostAddress statusAddress(QHostAddress::LocalHost);
    QString statusTokenVariable;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QStringLiteral("--reopen"))
            continue;
        if (argument == QStringLiteral("--status-port")) {
            bool ok = false;
            const uint port = i + 1 < arguments.size() ? arguments.at(++i).toUInt(&ok) : 0;
            if (!ok || port > 65535) {
                context.err << "graflink-cli run: --status-port needs a port number from 0 to 65535"
                            << Qt::endl;
                return UsageError;
            }
            statusPort = quint16(port);
            continue;
        }
        if (argument == QStringLiteral("--status-token-env")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).startsWith(QStringLiteral("--"))) {
                context.err
                    << "graflink-cli run: --status-token-env needs the name of an environment variable"
                    << Qt::endl;
                return UsageError;
            }
            statusTokenVariable = arguments.at(++i);
            continue;
        }
        if (argument == QStringLiteral("--status-address")) {
            if (i + 1 >= arguments.size() || !statusAddress.setAddress(arguments.at(++i))) {
                context.err << "graflink-cli run: --status-address needs an IP address" << Qt::endl;
                return UsageError;
            }
            continue;
        }
        if (argument.startsWith(QStringLiteral("--"))) {
            context.err << "graflink-cli run: unknown option " << argument << Qt::endl;
            return UsageError;
        }
        paths.append(argument);
    }
    // The status answers name documents' paths and errors: beyond loopback only with a token.
    QByteArray statusToken;
    if (!statusTokenVariable.isEmpty()) {
        statusToken = qgetenv(statusTokenVariable.toLocal8Bit().constData());
        if (statusToken.isEmpty()) {
            context.err << "graflink-cli run: --status-token-env names " << statusTokenVariable
                        << ", which is not set or empty" << Qt::endl;
            return UsageError;
        }
    }
    if (statusPort && !statusAddress.isLoopback() && statusToken.isEmpty()) {
        context.err << "graflink-cli run: the status endpoint on " << statusAddress.toString()
                    << " would show documents' paths and errors to other machines; put a token in an "
                       "environment variable and name it with --status-token-env VAR (requests then send "
                       "\"Authorization: Bearer TOKEN\"), or leave --status-address out to stay on loopback"
                    << Qt::endl;
        return UsageError;
    }
    const bool reopen = restoresDocuments(arguments);
    if (paths.isEmpty() && !reopen) {
        context.err << "graflink-cli run: which documents? (graflink-cli run DOC... or --reopen)" << Qt::endl;
        return UsageError;
    }

    platform::DocumentController& documents = context.documents;
    for (const QString& path : paths) {
        platform::Error error;
        if (!documents.openDocument(path, false, &error)) {
            context.err << "graflink-cli run: " << error.localizedDescription() << Qt::endl;
            return Failure;
        }
    }
    // Health figures per document, counted from when it starts running here.
    std::vector<std::unique_ptr<DocumentHealth>> health;
    std::unique_ptr<StatusServer> status;
    const auto watch = [&health, &status](platform::Document& document) {
        if (auto* graflink = qobject_cast<GraflinkDocument*>(&document))
            health.push_back(std::make_unique<DocumentHealth>(*graflink));
        else if (auto* dataSource = qobject_cast<NVSCGDataSource*>(&document))
            health.push_back(std::make_unique<DocumentHealth>(*dataSource));
        if (status)
            status->documentsChanged();
    };
    if (DataSourceAutoExporter* exporter = context.application.autoExporter()) {
        exporter->setExportObserver([&health](const NVSCGDataSource& dataSource, const QString& path,
                                              bool success, const platform::Error& error) {
            for (const auto& each : health)
                if (each->dataSource() == &dataSource)
                    each->exportEnded(path, success, error.localizedDescription());
        });
    }
    if (statusPort) {
        status = std::make_unique<StatusServer>(
            [&health] {
                std::vector<DocumentHealth*> list;
                for (const auto& each : health)
                    list.push_back(each.get());
                return list;
            },
            context.logger, statusToken);
        QString reason;
        const quint16 bound = status->listen(statusAddress, *statusPort, &reason);
        if (bound == 0) {
            context.err << "graflink-cli run: the status endpoint cannot listen: " << reason << Qt::endl;
            return Failure;
        }
        const QString host = statusAddress.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QStringLiteral("[%1]").arg(statusAddress.toString())
                                 : statusAddress.toString();
        context.out << "status on http://" << host << ':' << bound
                    << "/status and /metrics, control page at /"
                    << (statusToken.isEmpty() ? " (read-only: actions need --status-token-env)"
                                              : " (bearer token required)")
                    << Qt::endl;
    }
    // The remembered documents open on the event loop (display on), the ones named here now.
    documents.setDisplayHandler([&context, &watch](platform::Document& document) {
        watch(document);
        startRunning(context, document);
    });
    for (const auto& document : documents.documents()) {
        watch(*document);
        startRunning(context, *document);
    }

    platform::StopSignalWaiter stopSignal;
    const int stoppedBy = stopSignal.wait();
    context.out << "stopping (signal " << stoppedBy << ")" << Qt::endl;
    documents.setDisplayHandler({});
    if (DataSourceAutoExporter* exporter = context.application.autoExporter())
        exporter->setExportObserver({});
    return Success;
}

} // namespace cli

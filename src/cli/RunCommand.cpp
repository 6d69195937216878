#include "cli/RunCommand.h"

#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "cli/DocumentOpening.h"
#include "cli/StopSignalWaiter.h"
#include "platform/RedactedText.h"

#include <QDateTime>
#include <nlohmann/json.hpp>

namespace cli {

QString RunCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli run DOC...\n\n"
        "Opens every document, connects each to its CG server and runs them as the desktop program\n"
        "would with their windows open: refresh timers, publishing, actions, reconnection after the\n"
        "CG server goes away. Prints one line per refresh per document. Stops cleanly on SIGINT or\n"
        "SIGTERM.\n");
}

int RunCommand::run(CliContext& context, const QStringList& arguments) {
    if (arguments.isEmpty()) {
        context.err << "graflink-cli run: which documents? (graflink-cli run DOC...)" << Qt::endl;
        return UsageError;
    }
    std::vector<std::unique_ptr<GraflinkDocument>> documents;
    for (const QString& path : arguments) {
        if (path.startsWith(QStringLiteral("--"))) {
            context.err << "graflink-cli run: unknown option " << path << Qt::endl;
            return UsageError;
        }
        std::unique_ptr<GraflinkDocument> document = openDocument(context, path, QStringLiteral("run"));
        if (!document)
            return Failure;
        documents.push_back(std::move(document));
    }

    StopSignalWaiter stopSignal;
    for (const auto& document : documents) {
        GraflinkDocument* doc = document.get();
        QObject::connect(doc, &GraflinkDocument::refreshFinished, doc, [&context, doc](bool processed) {
            const QString stamp =
                QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            if (!processed) {
                context.out << stamp << '\t' << doc->displayName() << "\tno feed (see the technical log)"
                            << Qt::endl;
                return;
            }
            int withValue = 0;
            for (const GraflinkVariable* variable : doc->variables().variables())
                withValue += variable->currentStringValue().has_value();
            context.out << stamp << '\t' << doc->displayName() << "\trefreshed: " << withValue << " of "
                        << doc->variables().count() << " values"
                        << (doc->publishToCG() && doc->hasCGClient() ? ", published" : "")
                        << (doc->isConnectedToCG() ? "" : " (CG server not connected)") << Qt::endl;
        });
        if (!document->CGServerIPAddress().trimmed().isEmpty())
            document->applyCGServerSettings();
        context.out << "running " << document->displayName() << " ("
                    << platform::RedactedText::fromText(document->sourceURLString().value_or(QString()))
                    << (document->autoRefresh()
                            ? QStringLiteral(", every %1 s").arg(document->refreshFrequency())
                            : QStringLiteral(", auto refresh off"))
                    << ")" << Qt::endl;
    }
    const int stoppedBy = stopSignal.wait();
    context.out << "stopping (signal " << stoppedBy << ")" << Qt::endl;
    documents.clear(); // closes the CG clients' sockets
    return Success;
}

} // namespace cli

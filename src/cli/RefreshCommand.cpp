#include "cli/RefreshCommand.h"

#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "cli/DocumentOpening.h"
#include "cli/EventLoopWait.h"
#include "cli/OutputBytes.h"
#include "platform/Json.h"

namespace cli {

namespace {

void appendText(QByteArray& out, const std::optional<QString>& text) {
    if (text)
        platform::appendJsonString(out, *text);
    else
        out.append("null");
}

// The variables as one compact JSON array, written as text in pieces: the same bytes as the
// serialiser's, without an object per variable.
void writeJson(QTextStream& out, const QList<GraflinkVariable*>& variables, bool watchesAge) {
    QByteArray piece = emptyOutputPiece();
    piece.append("[");
    for (qsizetype i = 0; i < variables.size(); ++i) {
        const GraflinkVariable& variable = *variables[i];
        piece.append(i == 0 ? "{\"XPath\":" : ",{\"XPath\":");
        appendText(piece, variable.XPath());
        piece.append(",\"CGProjectName\":");
        appendText(piece, variable.CGProjectName());
        piece.append(",\"CGProjectItemName\":");
        appendText(piece, variable.CGProjectItemName());
        piece.append(",\"valueType\":").append(QByteArray::number(variable.valueType()));
        if (const std::optional<platform::JsonValue>& value = variable.currentStringValue())
            piece.append(",\"value\":").append(platform::toJsonBytes(*value));
        // Documents that watch their data's age also say how old each value is (whole seconds
        // since it last changed); the others print exactly what they always did.
        if (const std::optional<qint64> age = variable.valueAgeSeconds(); age && watchesAge)
            piece.append(",\"valueAgeSeconds\":").append(QByteArray::number(*age));
        piece.append('}');
        writeBytesWhenFull(out, piece);
    }
    piece.append("]\n");
    writeBytes(out, piece);
}

} // namespace

QString RefreshCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli refresh DOC [--no-publish] [--json]\n\n"
        "Opens the document as the program does, runs one refresh (fetch, evaluate, filter,\n"
        "publish when the document publishes and --no-publish is absent, actions), waits until it\n"
        "is done and prints one line per variable: its path, a TAB, its value.\n\n"
        "  --json         one JSON array of {XPath, CGProjectName, CGProjectItemName, valueType, value}\n"
        "                 (and valueAgeSeconds when the document has a stale-data limit)\n"
        "  --no-publish   send nothing to the CG server\n\n"
        "Exit status 1 when the fetch did not deliver a feed.\n");
}

int RefreshCommand::run(CliContext& context, const QStringList& arguments) {
    QString path;
    bool json = false;
    bool noPublish = false;
    for (const QString& argument : arguments) {
        if (argument == QStringLiteral("--json")) {
            json = true;
        } else if (argument == QStringLiteral("--no-publish")) {
            noPublish = true;
        } else if (argument.startsWith(QStringLiteral("--")) || !path.isEmpty()) {
            context.err << "graflink-cli refresh: unexpected argument " << argument << Qt::endl;
            return UsageError;
        } else {
            path = argument;
        }
    }
    if (path.isEmpty()) {
        context.err << "graflink-cli refresh: which document? (graflink-cli refresh DOC)" << Qt::endl;
        return UsageError;
    }
    const std::unique_ptr<GraflinkDocument> opened = openDocument(context, path, QStringLiteral("refresh"));
    if (!opened)
        return Failure;
    GraflinkDocument& document = *opened;
    if (noPublish)
        document.setPublishToCG(false);
    // The desktop program makes the client when the window opens; without a server there is none.
    if (!document.CGServerIPAddress().trimmed().isEmpty() && document.publishToCG())
        document.applyCGServerSettings();
    // Opening the document started its refresh, as it does in the desktop program: that is the one
    // refresh of this command, so the feed is fetched once. Its feed is evaluated on this thread's
    // event loop, which has not run since, so the client made above publishes its values. A
    // document whose file names no feed address started none.
    if (!document.isRefreshing())
        document.refresh();
    runEventLoopUntil([&] { return !document.isRefreshing(); }, std::chrono::minutes(2));
    // The values go out on the client's worker: the command ends when they are sent.
    if (CGServerHTTPController* client = document.CGClient())
        runEventLoopUntil([&] { return client->isIdle(); }, std::chrono::minutes(10));
    if (document.lastRefreshDelivered() != true) {
        // Why, when the refresh knows ("HTTP status 404", "the feed is not well-formed XML (...)").
        const QString& reason = document.lastRefreshError();
        context.err << "graflink-cli refresh: the feed of " << path << " could not be fetched"
                    << (reason.isEmpty() ? QStringLiteral(" (see the technical log)")
                                         : QStringLiteral(": ") + reason)
                    << Qt::endl;
        return Failure;
    }

    const QList<GraflinkVariable*> variables = document.variables().variables();
    if (json) {
        writeJson(context.out, variables, document.staleAfterSeconds() > 0);
    } else {
        for (const GraflinkVariable* variable : variables)
            context.out << variable->XPath().value_or(QString()) << '\t'
                        << platform::valueText(variable->currentStringValue()) << '\n';
    }
    context.out.flush();
    return Success;
}

} // namespace cli

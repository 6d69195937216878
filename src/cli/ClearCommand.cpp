#include "cli/ClearCommand.h"

#include "app/GraflinkDocument.h"
#include "cli/DocumentOpening.h"
#include "cli/EventLoopWait.h"

namespace cli {

QString ClearCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli clear DOC\n\n"
        "Opens the document, connects to its CG server and blanks every field a variable is bound to\n"
        "(the empty string, HTML off). Variables whose project or field the server lacks are skipped.\n");
}

int ClearCommand::run(CliContext& context, const QStringList& arguments) {
    if (arguments.size() != 1 || arguments.first().startsWith(QStringLiteral("--"))) {
        context.err << "graflink-cli clear: needs exactly one document" << Qt::endl;
        return UsageError;
    }
    std::unique_ptr<GraflinkDocument> document =
        openDocument(context, arguments.first(), QStringLiteral("clear"));
    if (!document)
        return Failure;
    if (!connectDocument(context, *document, QStringLiteral("clear")))
        return Failure;
    document->clearCG();
    runEventLoopUntil([&] { return document->CGClient()->isIdle(); }, std::chrono::minutes(10));
    return Success;
}

} // namespace cli

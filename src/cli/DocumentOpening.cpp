#include "cli/DocumentOpening.h"

#include "app/AppDelegate.h"
#include "app/GraflinkDocument.h"

namespace cli {

std::unique_ptr<GraflinkDocument> openDocument(CliContext& context, const QString& path,
                                               const QString& subcommand) {
    // The application's services, its actions controller included, as the desktop program gives them.
    auto document = std::make_unique<GraflinkDocument>(context.application.documentEnvironment());
    platform::Error error;
    if (!document->readFromPath(path, GraflinkDocument::DocumentTypeName, &error)) {
        context.err << "graflink-cli " << subcommand << ": " << error.localizedDescription() << Qt::endl;
        return nullptr;
    }
    return document;
}

bool connectDocument(CliContext& context, GraflinkDocument& document, const QString& subcommand) {
    if (document.CGServerIPAddress().trimmed().isEmpty()) {
        context.err << "graflink-cli " << subcommand << ": " << document.displayName()
                    << " names no CG server" << Qt::endl;
        return false;
    }
    document.applyCGServerSettings();
    return true;
}

} // namespace cli

#pragma once

#include "cli/CliCommand.h"

#include <memory>

class GraflinkDocument;

namespace cli {

/// Opens a Graflink document as the desktop program does; reports failures on stderr.
std::unique_ptr<GraflinkDocument> openDocument(CliContext& context, const QString& path,
                                               const QString& subcommand);

/// Creates the document's CG client when it names a server. False, with a message, when the
/// document names none.
bool connectDocument(CliContext& context, GraflinkDocument& document, const QString& subcommand);

} // namespace cli

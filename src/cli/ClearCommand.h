#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `clear DOC`: blanks every bound field of the document's CG server.
class ClearCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("clear"); }
    QString summary() const override { return QStringLiteral("blank every field a document is bound to"); }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

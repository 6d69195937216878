#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `new DOC`: writes a new Graflink document with the defaults of a new document and the options.
class NewCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("new"); }
    QString summary() const override { return QStringLiteral("write a new Graflink document"); }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `refresh DOC`: opens the document as the program does, runs one refresh and prints the values.
class RefreshCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("refresh"); }
    QString summary() const override {
        return QStringLiteral("run one refresh of a document and print its values");
    }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `csv [FILE]`: CSV text split into rows, printed as one JSON array of arrays of strings.
class CsvCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("csv"); }
    QString summary() const override { return QStringLiteral("split CSV text into rows, printed as JSON"); }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `datasource show FILE [--json]`: refreshes a data source once and prints its rows.
class DataSourceShowCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("datasource show"); }
    QString summary() const override {
        return QStringLiteral("refresh a data source once and print its rows");
    }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

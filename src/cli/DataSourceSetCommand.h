#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `datasource set FILE [options]`: changes a data source through its own operations and saves it.
class DataSourceSetCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("datasource set"); }
    QString summary() const override {
        return QStringLiteral("change a data-source file's settings and columns");
    }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

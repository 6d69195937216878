#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `datasource new FILE`: writes a new, empty data source.
class DataSourceNewCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("datasource new"); }
    QString summary() const override { return QStringLiteral("write a new data-source file (.cgds)"); }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

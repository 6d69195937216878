#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `datasource export FILE OUT`: refreshes a data source once and writes its rows as a playlist.
class DataSourceExportCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("datasource export"); }
    QString summary() const override {
        return QStringLiteral("refresh a data source once and export it as a playlist");
    }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `datasource watch FILE...`: keeps data sources open with their timers and re-exports each to
/// its export path whenever its rows change, until SIGINT or SIGTERM.
class DataSourceWatchCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("datasource watch"); }
    QString summary() const override {
        return QStringLiteral("re-export data sources to their export paths until stopped");
    }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

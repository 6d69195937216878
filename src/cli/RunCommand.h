#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `run DOC...`: keeps documents open, refreshing and publishing, until SIGINT or SIGTERM.
class RunCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("run"); }
    QString summary() const override {
        return QStringLiteral("run documents until stopped (timers, publishing)");
    }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
    bool restoresDocuments(const QStringList& arguments) const override;
    bool exportsDataSources() const override { return true; }
};

} // namespace cli

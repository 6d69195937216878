#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `record URL DIR [--every SECONDS] [--duration SECONDS]`: fetches a feed on a period and keeps
/// each snapshot that differs from the previous one, until the duration ends or SIGINT/SIGTERM.
class RecordCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("record"); }
    QString summary() const override {
        return QStringLiteral("record a feed's changing snapshots into a folder");
    }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

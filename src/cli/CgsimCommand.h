#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `cgsim [--port N] [--type 1|2] [--password P] [--projects FILE]`: runs the CG server
/// simulator on 127.0.0.1 until SIGINT/SIGTERM, printing every accepted update as a JSON line.
class CgsimCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("cgsim"); }
    QString summary() const override { return QStringLiteral("run a CG server simulator on 127.0.0.1"); }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

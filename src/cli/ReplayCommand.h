#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `replay DIR [--port N] [--speed X] [--loop] [--step] [--start TIME]`: serves a recording on
/// loopback as a live feed, snapshot after snapshot on the recorded clock, until SIGINT/SIGTERM.
class ReplayCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("replay"); }
    QString summary() const override {
        return QStringLiteral("serve a recorded feed on loopback for rehearsals");
    }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

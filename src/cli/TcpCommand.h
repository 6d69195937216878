#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `tcp HOST PORT COMMAND...`: sends each command over one TCP command channel and prints
/// each response.
class TcpCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("tcp"); }
    QString summary() const override { return QStringLiteral("send commands over a TCP command channel"); }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `projects HOST [--port N] [--type N] [--password P] [--json]`: the CG server's projects and
/// their items, as the CG client lists them.
class ProjectsCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("projects"); }
    QString summary() const override { return QStringLiteral("list a CG server's projects and their items"); }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

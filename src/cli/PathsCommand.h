#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `paths SOURCE`: the feed's inventory of paths, one per line.
class PathsCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("paths"); }
    QString summary() const override {
        return QStringLiteral("list every path of a document's (or URL's) feed");
    }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

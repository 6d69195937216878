#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `support collect DIR [--description TEXT] [--date ISO]`: gathers the support information into
/// DIR and compresses it into DIR.zip.
class SupportCollectCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("support collect"); }
    QString summary() const override {
        return QStringLiteral("gather logs, settings and system facts for support");
    }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

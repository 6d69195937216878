#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `support upload FILE`: sends a support archive to the configured storage bucket.
class SupportUploadCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("support upload"); }
    QString summary() const override {
        return QStringLiteral("send a support archive to the maker's storage bucket");
    }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

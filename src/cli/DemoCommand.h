#pragma once

#include "cli/CliCommand.h"

namespace cli {

/// `demo`: the whole road on loopback — a feed, the CG server simulator, the bundled example
/// document with its filter and number format — and a report of what the CG server received.
class DemoCommand : public CliCommand {
  public:
    QString name() const override { return QStringLiteral("demo"); }
    QString summary() const override { return QStringLiteral("run the built-in demonstration on loopback"); }
    QString help() const override;
    int run(CliContext& context, const QStringList& arguments) override;
};

} // namespace cli

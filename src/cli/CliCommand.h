#pragma once

#include "cli/CliOptions.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

class NVSLogController;
namespace platform {
class UserDefaults;
}

namespace cli {

/// What a subcommand works with: its output streams (stdout for programs, stderr for people),
/// the global options, and the services composed at start.
struct CliContext {
    QTextStream& out;
    QTextStream& err;
    const GlobalOptions& options;
    platform::UserDefaults& defaults;
    NVSLogController& logger;
};

/// One subcommand of graflink-cli.
class CliCommand {
public:
    virtual ~CliCommand();
    /// The words that name it ("csv", or "datasource export").
    virtual QString name() const = 0;
    /// One line for the overview.
    virtual QString summary() const = 0;
    /// The full --help text: usage line first.
    virtual QString help() const = 0;
    /// Runs with the subcommand's own arguments; returns an ExitCode.
    virtual int run(CliContext& context, const QStringList& arguments) = 0;
};

} // namespace cli

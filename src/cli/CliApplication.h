#pragma once

#include "cli/CliCommand.h"

#include <QTextStream>
#include <memory>
#include <vector>

namespace platform {
class ConsoleWriter;
}

namespace cli {

/// graflink-cli as a library function: parses the command line, composes the services as the
/// desktop program does at start (registered defaults, the argument domain, the technical log
/// with this program as its delegate), runs one subcommand and returns its exit code.
///
/// Everything for stderr, from the subcommand on the main thread and from the technical log on
/// its own threads, goes through `err` (the process's ConsoleWriter::standardError() in the
/// program), so texts never interleave. When `run` returns, the technical log no longer knows
/// this program: no delegate call or echo of it is in progress or will come.
class CliApplication {
  public:
    CliApplication(QTextStream& out, platform::ConsoleWriter& err);
    ~CliApplication();

    void registerCommand(std::unique_ptr<CliCommand> command);
    /// `arguments` without the program name.
    int run(const QStringList& arguments);
    /// The overview printed by --help.
    QString overview() const;

  private:
    CliCommand* find(const QString& subcommand, QStringList& arguments) const;

    QTextStream& m_out;
    platform::ConsoleWriter& m_err;
    std::vector<std::unique_ptr<CliCommand>> m_commands;
};

/// Registers every subcommand this build has.
void registerBuiltInCommands(CliApplication& application);

} // namespace cli

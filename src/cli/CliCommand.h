#pragma once

#include "cli/CliOptions.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

class AppDelegate;
class NVSLogController;
namespace platform {
class DocumentController;
class UserDefaults;
} // namespace platform

namespace cli {

/// What a subcommand works with: its output streams (stdout for programs, stderr for people),
/// the global options, and the services composed at start.
struct CliContext {
    QTextStream& out;
    QTextStream& err;
    const GlobalOptions& options;
    platform::UserDefaults& defaults;
    NVSLogController& logger;
    /// The application's start and stop, as in the desktop program (actions controller included).
    AppDelegate& application;
    /// The documents the application holds (what `run --reopen` stores at its stop).
    platform::DocumentController& documents;
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
    /// Whether this run reopens "LastOpenedDocumentPaths" at start and stores the open documents
    /// at its stop, as the desktop program does.
    virtual bool restoresDocuments(const QStringList& /*arguments*/) const { return false; }
    /// Whether data sources this run opens are re-exported to their export paths when their rows
    /// change, as the desktop program does.
    virtual bool exportsDataSources() const { return false; }
};

} // namespace cli

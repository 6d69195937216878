#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <utility>

namespace cli {

enum ExitCode { Success = 0, Failure = 1, UsageError = 2 };

/// The options every subcommand accepts, before or after the subcommand's name.
struct GlobalOptions {
    std::optional<qint64> logLevel;
    std::optional<QString> logFolder;
    /// Argument-domain user defaults, in the order given.
    QList<std::pair<QString, QVariant>> defaults;
    bool verbose = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

struct ParsedCommandLine {
    GlobalOptions global;
    /// Empty when no subcommand was named.
    QString subcommand;
    /// Everything after the subcommand that is not a global option.
    QStringList arguments;
    /// Set when the command line cannot be used; the text says why.
    std::optional<QString> error;
};

/// Splits a command line (without the program name) into global options, the subcommand and
/// its own arguments. "--" ends option processing: what follows goes to the subcommand as is.
ParsedCommandLine parseCommandLine(const QStringList& arguments);

/// A --default value: JSON when it parses as JSON (numbers, booleans, strings in quotes, arrays,
/// objects, null), else the text itself.
QVariant defaultValueFromText(const QString& text);

} // namespace cli

#pragma once

#include <QString>
#include <QTextStream>
#include <QUrl>
#include <memory>

class NVSCGDataSource;

namespace cli {

/// What the data-source subcommands share: opening a file as the program does, and reading a
/// feed location given on the command line.
class DataSourceFiles {
  public:
    enum class Refresh { Start, None };
    /// Opens `path` (which starts its refresh, as opening does in the program, unless `refresh`
    /// is None). Null, with the reason on `err`, when the file cannot be read as a data source.
    static std::unique_ptr<NVSCGDataSource> open(const QString& path, QTextStream& err,
                                                 const QString& command, Refresh refresh = Refresh::Start);
    /// An http(s) or file URL as given, or a file path made absolute.
    static QUrl urlFromArgument(const QString& argument);
    /// Leaves a closed data source to the end of the process, for a command that is done with it
    /// and about to exit: its feed's tree is hundreds of thousands of blocks, which freeing one by
    /// one took longer than the rest of the command's end, and which the system takes back at once.
    static void leaveToProcessExit(std::unique_ptr<NVSCGDataSource> dataSource);
};

} // namespace cli

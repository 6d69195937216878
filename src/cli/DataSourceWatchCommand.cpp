#include "cli/DataSourceWatchCommand.h"

#include "app/DataSourceAutoExporter.h"
#include "cli/DataSourceFiles.h"
#include "datasource/NVSCGDataSource.h"
#include "platform/Error.h"
#include "platform/StopSignalWaiter.h"

#include <vector>

namespace cli {

QString DataSourceWatchCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli datasource watch FILE...\n\n"
        "Opens every data source, keeps it refreshing on its own auto-update timer, and rewrites\n"
        "the playlist at its export path whenever its rows change, as the desktop program does,\n"
        "until SIGINT or SIGTERM. Prints one line per playlist written:\n"
        "  exported N playlist items to PATH\n"
        "Failed exports are logged (\"Failed to export dataSource (...)\") and tried again at the\n"
        "next change. A data source without an export path is opened but never exported.\n\n"
        "Exit status 0 after a stop signal; 1 when a file cannot be opened or none has an export path.\n");
}

int DataSourceWatchCommand::run(CliContext& context, const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument.startsWith(QLatin1String("--"))) {
            context.err << "graflink-cli datasource watch: unexpected " << argument << Qt::endl;
            return UsageError;
        }
    }
    if (arguments.isEmpty()) {
        context.err << "graflink-cli datasource watch: expects FILE...\n" << help() << Qt::flush;
        return UsageError;
    }
    platform::StopSignalWaiter stopSignal;
    if (!stopSignal.isReady()) {
        context.err << "graflink-cli datasource watch: cannot listen for stop signals" << Qt::endl;
        return Failure;
    }

    // Observing before any file is opened: the first refresh of each already counts as a change.
    DataSourceAutoExporter exporter(context.logger, context.defaults);
    exporter.setExportObserver([&context](const NVSCGDataSource& dataSource, const QString& path,
                                          bool success, const platform::Error&) {
        if (success)
            context.out << "exported " << dataSource.countOfContentNodes() << " playlist items to " << path
                        << Qt::endl;
    });

    std::vector<std::unique_ptr<NVSCGDataSource>> dataSources;
    auto closeAll = [&dataSources] {
        for (const auto& dataSource : dataSources)
            dataSource->close();
    };
    bool anyExportPath = false;
    for (const QString& path : arguments) {
        std::unique_ptr<NVSCGDataSource> dataSource =
            DataSourceFiles::open(path, context.err, QStringLiteral("datasource watch"));
        if (!dataSource) {
            closeAll();
            return Failure;
        }
        if (dataSource->exportPath().isEmpty())
            context.err << "graflink-cli datasource watch: " << path
                        << " has no export path; it is not exported" << Qt::endl;
        else
            anyExportPath = true;
        if (!dataSource->autoUpdate())
            context.err << "graflink-cli datasource watch: " << path
                        << " does not update automatically; it is exported once" << Qt::endl;
        dataSources.push_back(std::move(dataSource));
    }
    if (!anyExportPath) {
        context.err << "graflink-cli datasource watch: no data source has an export path" << Qt::endl;
        closeAll();
        return Failure;
    }

    const int signalNumber = stopSignal.wait();
    context.err << "graflink-cli datasource watch: stopping (signal " << signalNumber << ")" << Qt::endl;
    closeAll();
    return Success;
}

} // namespace cli

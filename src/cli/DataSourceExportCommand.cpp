#include "cli/DataSourceExportCommand.h"

#include "cli/DataSourceFiles.h"
#include "cli/EventLoopWait.h"
#include "datasource/NVSCGDataSource.h"
#include "export/NVSDataSourceExport.h"
#include "export/PlaylistExportSummary.h"
#include "platform/MainQueue.h"
#include "platform/RedactedText.h"
#include "platform/UserDefaults.h"

#include <QFileInfo>

namespace cli {

namespace {

/// Waits for the refresh that opening started and for the row rebuild it queued; returns
/// whether it delivered a feed.
bool waitForOpeningRefresh(NVSCGDataSource& dataSource) {
    bool ended = false;
    bool delivered = false;
    const auto connection = QObject::connect(&dataSource, &NVSCGDataSource::refreshEnded, [&](bool ok) {
        ended = true;
        delivered = ok;
    });
    const auto timeout = std::chrono::milliseconds(qint64((NVSCGDataSource::ResourceTimeout + 10) * 1000));
    runEventLoopUntil([&] { return ended; }, timeout);
    QObject::disconnect(connection);
    bool drained = false;
    platform::MainQueue::dispatchAsync([&drained] { drained = true; });
    runEventLoopUntil([&] { return drained; }, std::chrono::seconds(5));
    return ended && delivered;
}

} // namespace

QString DataSourceExportCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli datasource export FILE OUT\n\n"
        "Opens a data source, refreshes it once, and writes its rows as a playlist document to OUT\n"
        "(one playlist item per row; OUT is replaced only by a complete new file). The data-source\n"
        "file is not changed: its export path stays as it is.\n\n"
        "The playlist reads the user defaults \"DataSourceExportStillImagePath\",\n"
        "\"DataSourceExportCGProjectsNames\", \"RaceStartActionName\" and \"CandidateDisplayDuration\"\n"
        "(set them for one run with --default KEY=VALUE).\n\n"
        "Exit status 1 when the refresh delivered no feed or OUT cannot be written.\n");
}

int DataSourceExportCommand::run(CliContext& context, const QStringList& arguments) {
    QStringList paths;
    for (const QString& argument : arguments) {
        if (argument.startsWith(QLatin1String("--"))) {
            context.err << "graflink-cli datasource export: unexpected " << argument << Qt::endl;
            return UsageError;
        }
        paths << argument;
    }
    if (paths.size() != 2) {
        context.err << "graflink-cli datasource export: expects FILE OUT\n" << help() << Qt::flush;
        return UsageError;
    }
    NVSDataSourceExport::registerDefaults(context.defaults);

    std::unique_ptr<NVSCGDataSource> dataSource =
        DataSourceFiles::open(paths.at(0), context.err, QStringLiteral("datasource export"));
    if (!dataSource)
        return Failure;
    const bool delivered = waitForOpeningRefresh(*dataSource);
    dataSource->close();
    if (!delivered) {
        context.err << "graflink-cli datasource export: the refresh of "
                    << platform::RedactedText::fromUrl(dataSource->dataSourceURL()) << " delivered no feed"
                    << Qt::endl;
        return Failure;
    }

    const QString out = QFileInfo(paths.at(1)).absoluteFilePath();
    platform::Error error;
    PlaylistExportSummary summary;
    if (!NVSDataSourceExport::exportDataSource(*dataSource, QUrl::fromLocalFile(out), context.defaults,
                                               &error, &summary)) {
        context.err << "graflink-cli datasource export: " << error.localizedDescription() << Qt::endl;
        return Failure;
    }
    if (!summary.warning().isEmpty())
        context.err << "graflink-cli datasource export: warning: " << summary.warning() << Qt::endl;
    context.out << "exported " << summary.items() << " playlist items to " << out << Qt::endl;
    DataSourceFiles::leaveToProcessExit(std::move(dataSource));
    return Success;
}

} // namespace cli

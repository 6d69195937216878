#include "cli/DataSourceFiles.h"

#include "datasource/NVSCGDataSource.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <vector>

namespace cli {

std::unique_ptr<NVSCGDataSource> DataSourceFiles::open(const QString& path, QTextStream& err,
                                                       const QString& command, Refresh refresh) {
    auto dataSource = std::make_unique<NVSCGDataSource>();
    dataSource->setRefreshesWhenRead(refresh == Refresh::Start);
    platform::Error error;
    if (!dataSource->readFromPath(path, NVSCGDataSourceDocumentType, &error)) {
        err << "graflink-cli " << command << ": cannot open " << path << ": " << error.localizedDescription()
            << Qt::endl;
        dataSource->close();
        return nullptr;
    }
    return dataSource;
}

QUrl DataSourceFiles::urlFromArgument(const QString& argument) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    if (scheme.match(argument).hasMatch())
        return QUrl(argument, QUrl::StrictMode);
    return QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath());
}

void DataSourceFiles::leaveToProcessExit(std::unique_ptr<NVSCGDataSource> dataSource) {
    // Nothing it might still signal outlives the command.
    dataSource->disconnect();
    // Kept where the leak checker sees them (reachable, not lost), in a list never destroyed.
    static auto* const left = new std::vector<NVSCGDataSource*>;
    left->push_back(dataSource.release());
}

} // namespace cli

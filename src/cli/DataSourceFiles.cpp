#include "cli/DataSourceFiles.h"

#include "datasource/NVSCGDataSource.h"

#include <QFileInfo>
#include <QRegularExpression>

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

} // namespace cli

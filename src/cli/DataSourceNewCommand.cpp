#include "cli/DataSourceNewCommand.h"

#include "datasource/NVSCGDataSource.h"

namespace cli {

QString DataSourceNewCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli datasource new FILE\n\n"
        "Writes a new data source with the settings of a new document (no URL, no XPath, no\n"
        "columns, auto-update off every 10 seconds). Change it with 'datasource set'.\n");
}

int DataSourceNewCommand::run(CliContext& context, const QStringList& arguments) {
    if (arguments.size() != 1 || arguments.first().startsWith(QLatin1String("--"))) {
        context.err << "graflink-cli datasource new: expects exactly one FILE\n" << help() << Qt::flush;
        return UsageError;
    }
    NVSCGDataSource dataSource;
    platform::Error error;
    if (!dataSource.saveToPath(arguments.first(), NVSCGDataSourceDocumentType, &error)) {
        context.err << "graflink-cli datasource new: " << error.localizedDescription() << Qt::endl;
        return Failure;
    }
    return Success;
}

} // namespace cli

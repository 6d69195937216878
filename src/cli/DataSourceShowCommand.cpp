#include "cli/DataSourceShowCommand.h"

#include "cli/DataSourceFiles.h"
#include "cli/EventLoopWait.h"
#include "datasource/NVSCGDataSource.h"
#include "platform/Json.h"
#include "platform/MainQueue.h"
#include "platform/RedactedText.h"

#include <nlohmann/json.hpp>

namespace cli {

namespace {

// Tabs and line breaks inside a value would break the table's lines and fields.
QString tableField(QString value) {
    for (QChar& c : value) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return value;
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

// Every line two spaces further in.
QByteArray indented(const QByteArray& text) {
    QByteArray result;
    result.reserve(text.size() + text.size() / 8 + 2);
    result.append("  ");
    for (const char c : text) {
        result.append(c);
        if (c == '\n')
            result.append("  ");
    }
    return result;
}

} // namespace

QString DataSourceShowCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli datasource show FILE [--json]\n\n"
        "Opens a data source, refreshes it once, waits for the feed and prints the rows: a line of\n"
        "column titles, then one line of cell values per row, TAB-separated (tabs and line breaks\n"
        "inside values are printed as spaces).\n\n"
        "Options:\n"
        "  --json    one JSON array with an object per row, column title -> cell value\n\n"
        "Exit status 1 when the refresh delivered no feed.\n");
}

int DataSourceShowCommand::run(CliContext& context, const QStringList& arguments) {
    QString path;
    bool json = false;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--json")) {
            json = true;
        } else if (argument.startsWith(QLatin1String("--")) || !path.isEmpty()) {
            context.err << "graflink-cli datasource show: unexpected " << argument << Qt::endl;
            return UsageError;
        } else {
            path = argument;
        }
    }
    if (path.isEmpty()) {
        context.err << "graflink-cli datasource show: expects FILE\n" << help() << Qt::flush;
        return UsageError;
    }

    std::unique_ptr<NVSCGDataSource> dataSource;
    bool ended = false;
    bool delivered = false;
    {
        // Opening queues the refresh; connect before the main loop can deliver its end.
        dataSource = DataSourceFiles::open(path, context.err, QStringLiteral("datasource show"));
        if (!dataSource)
            return Failure;
        QObject::connect(dataSource.get(), &NVSCGDataSource::refreshEnded, [&](bool ok) {
            ended = true;
            delivered = ok;
        });
    }
    const auto timeout = std::chrono::milliseconds(qint64((NVSCGDataSource::ResourceTimeout + 10) * 1000));
    const bool finished = runEventLoopUntil([&] { return ended; }, timeout);
    // A remote feed's rows are rebuilt right after the status change: let that run too.
    bool drained = false;
    platform::MainQueue::dispatchAsync([&drained] { drained = true; });
    runEventLoopUntil([&] { return drained; }, std::chrono::seconds(5));
    dataSource->close();
    if (!finished || !delivered) {
        context.err << "graflink-cli datasource show: the refresh of "
                    << platform::RedactedText::fromUrl(dataSource->dataSourceURL()) << " delivered no feed"
                    << Qt::endl;
        return Failure;
    }

    const std::vector<NVSCGDataSourceColumnPtr> columns = dataSource->columns();
    const std::vector<NVSCGDataSourceNodePtr> rows = dataSource->contentNodes();
    if (json) {
        // Row by row, laid out as one pretty-printed array: the text of the whole array at once
        // would take several times the memory of the rows themselves.
        if (rows.empty()) {
            context.out << "[]" << Qt::endl;
            return Success;
        }
        context.out << "[\n";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            platform::JsonValue object = platform::JsonValue::object();
            for (const NVSCGDataSourceColumnPtr& column : columns)
                object[utf8(column->title())] = utf8(rows[i]->stringValueForColum(*column));
            // An element of the array is indented one level deeper than the object on its own.
            context.out << QString::fromUtf8(indented(platform::toJsonBytes(object, true)))
                        << (i + 1 < rows.size() ? ",\n" : "\n");
        }
        context.out << ']' << Qt::endl;
        return Success;
    }
    QStringList titles;
    for (const NVSCGDataSourceColumnPtr& column : columns)
        titles << tableField(column->title());
    context.out << titles.join(QLatin1Char('\t')) << '\n';
    for (const NVSCGDataSourceNodePtr& row : rows) {
        QStringList cells;
        for (const NVSCGDataSourceColumnPtr& column : columns)
            cells << tableField(row->stringValueForColum(*column));
        context.out << cells.join(QLatin1Char('\t')) << '\n';
    }
    context.out.flush();
    return Success;
}

} // namespace cli

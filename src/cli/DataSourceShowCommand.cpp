#include "cli/DataSourceShowCommand.h"

#include "cli/DataSourceFiles.h"
#include "cli/EventLoopWait.h"
#include "cli/OrderedRowWriter.h"
#include "cli/OutputBytes.h"
#include "datasource/NVSCGDataSource.h"
#include "platform/Json.h"
#include "platform/MainQueue.h"
#include "platform/RedactedText.h"

#include <algorithm>

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

// The rows as one pretty-printed JSON array of objects, column title -> cell value, written in
// pieces as the rows are read: the text of the whole array at once would take several times the
// memory of the rows. Where two columns share a title, the later one's value takes the earlier
// one's place, as in a JSON object built member by member.
void writeJsonRows(QTextStream& out, const std::vector<NVSCGDataSourceColumnPtr>& columns,
                   const std::vector<NVSCGDataSourceNodePtr>& rows) {
    if (rows.empty()) {
        out << "[]" << Qt::endl;
        return;
    }
    struct Member {
        QByteArray key; // `    "title": `
        const NVSCGDataSourceColumn* column;
    };
    std::vector<Member> members;
    for (const NVSCGDataSourceColumnPtr& column : columns) {
        QByteArray key("    ");
        platform::appendJsonString(key, column->title());
        key.append(": ");
        const auto same = std::find_if(members.begin(), members.end(),
                                       [&](const Member& member) { return member.key == key; });
        if (same != members.end())
            same->column = column.get();
        else
            members.push_back({key, column.get()});
    }
    QByteArray piece("[\n");
    writeBytes(out, piece);
    // The cells of different rows are made on several threads at once: the feed gives each
    // thread an evaluator of its own, and a row's node is only ever read by one of them.
    OrderedRowWriter().run(
        rows.size(),
        [&](std::size_t i, QByteArray& text) {
            if (members.empty()) {
                text.append("  {}");
            } else {
                text.append("  {\n");
                for (std::size_t m = 0; m < members.size(); ++m) {
                    text.append(members[m].key);
                    platform::appendJsonString(text, rows[i]->stringValueForColum(*members[m].column));
                    text.append(m + 1 < members.size() ? ",\n" : "\n");
                }
                text.append("  }");
            }
            text.append(i + 1 < rows.size() ? ",\n" : "\n");
        },
        [&](QByteArray& text) { writeBytes(out, text); });
    piece.append("]\n");
    writeBytes(out, piece);
}

// A line of column titles, then a line of cells per row, TAB-separated.
void writeTableRows(QTextStream& out, const std::vector<NVSCGDataSourceColumnPtr>& columns,
                    const std::vector<NVSCGDataSourceNodePtr>& rows) {
    QStringList titles;
    for (const NVSCGDataSourceColumnPtr& column : columns)
        titles << tableField(column->title());
    out << titles.join(QLatin1Char('\t')) << '\n';
    OrderedRowWriter().run(
        rows.size(),
        [&](std::size_t i, QByteArray& text) {
            QString line;
            for (std::size_t c = 0; c < columns.size(); ++c) {
                if (c > 0)
                    line.append(QLatin1Char('\t'));
                line.append(tableField(rows[i]->stringValueForColum(*columns[c])));
            }
            line.append(QLatin1Char('\n'));
            text.append(line.toUtf8());
        },
        [&](QByteArray& text) { writeBytes(out, text); });
    out.flush();
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
    if (json)
        writeJsonRows(context.out, columns, rows);
    else
        writeTableRows(context.out, columns, rows);
    DataSourceFiles::leaveToProcessExit(std::move(dataSource));
    return Success;
}

} // namespace cli

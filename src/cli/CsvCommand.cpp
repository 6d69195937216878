#include "cli/CsvCommand.h"

#include "feed/NVSCSVUtilities.h"
#include "platform/Json.h"

#include <QFile>
#include <QStringDecoder>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace cli {

QString CsvCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli csv [FILE]\n\n"
        "Reads CSV text from FILE, or from standard input when FILE is absent or \"-\", splits it\n"
        "into rows and prints them as one JSON array of arrays of strings. The text is read as\n"
        "UTF-8 (a leading byte order mark is skipped; invalid bytes become U+FFFD).\n\n"
        "Rules: any run of line breaks ends a row (blank lines give no rows); double quotes may\n"
        "open and close anywhere in a field, and inside them commas and line breaks are content\n"
        "and \"\" is one quote; whitespace after a comma is dropped; an empty last field is dropped.\n\n"
        "Exit status 1 when the input cannot be read.\n");
}

int CsvCommand::run(CliContext& context, const QStringList& arguments) {
    if (arguments.size() > 1 ||
        (!arguments.isEmpty() && arguments.first().startsWith(QStringLiteral("--")))) {
        context.err << "graflink-cli csv: takes at most one FILE\nTry 'graflink-cli csv --help'." << Qt::endl;
        return UsageError;
    }
    const bool fromStandardInput = arguments.isEmpty() || arguments.first() == QStringLiteral("-");
    QFile input;
    bool opened = false;
    if (fromStandardInput) {
        opened = input.open(stdin, QIODevice::ReadOnly);
    } else {
        input.setFileName(arguments.first());
        opened = input.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        context.err << "graflink-cli csv: cannot read "
                    << (fromStandardInput ? QStringLiteral("standard input") : input.fileName()) << ": "
                    << input.errorString() << Qt::endl;
        return Failure;
    }
    const QByteArray bytes = input.readAll();
    if (input.error() != QFileDevice::NoError) {
        context.err << "graflink-cli csv: reading failed: " << input.errorString() << Qt::endl;
        return Failure;
    }

    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    platform::JsonValue rows = platform::JsonValue::array();
    for (const QStringList& row : NVSCSVUtilities::CSVRowsWithString(text)) {
        platform::JsonValue fields = platform::JsonValue::array();
        for (const QString& field : row)
            fields.push_back(field.toStdString());
        rows.push_back(std::move(fields));
    }
    context.out << QString::fromUtf8(platform::toJsonBytes(rows)) << '\n';
    context.out.flush();
    return Success;
}

} // namespace cli

#include "cli/CliOptions.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace cli {

QVariant defaultValueFromText(const QString& text) {
    // Wrapped in an array so that scalars parse too.
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson("[" + text.toUtf8() + "]", &error);
    if (error.error == QJsonParseError::NoError && document.isArray() && document.array().size() == 1) {
        const QJsonValue value = document.array().at(0);
        if (value.isNull())
            return QVariant::fromValue(nullptr);
        return value.toVariant();
    }
    return text;
}

ParsedCommandLine parseCommandLine(const QStringList& arguments) {
    ParsedCommandLine parsed;
    auto fail = [&parsed](const QString& message) {
        if (!parsed.error)
            parsed.error = message;
    };
    bool literal = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        auto takeValue = [&](const QString& option) -> std::optional<QString> {
            // Both "--option value" and "--option=value".
            if (argument.startsWith(option + QLatin1Char('=')))
                return argument.mid(option.size() + 1);
            if (i + 1 < arguments.size())
                return arguments.at(++i);
            fail(QStringLiteral("option %1 needs a value").arg(option));
            return std::nullopt;
        };
        auto isOption = [&](const QString& option) {
            return argument == option || argument.startsWith(option + QLatin1Char('='));
        };

        if (literal) {
            parsed.arguments.append(argument);
        } else if (argument == QStringLiteral("--")) {
            literal = true;
            if (parsed.subcommand.isEmpty() && i + 1 < arguments.size())
                parsed.subcommand = arguments.at(++i);
        } else if (isOption(QStringLiteral("--log-level"))) {
            if (const auto value = takeValue(QStringLiteral("--log-level"))) {
                bool ok = false;
                const qint64 level = value->toLongLong(&ok);
                if (ok)
                    parsed.global.logLevel = level;
                else
                    fail(QStringLiteral("--log-level needs an integer, not “%1”").arg(*value));
            }
        } else if (isOption(QStringLiteral("--log-folder"))) {
            if (const auto value = takeValue(QStringLiteral("--log-folder"))) {
                if (value->isEmpty())
                    fail(QStringLiteral("--log-folder needs a folder"));
                else
                    parsed.global.logFolder = *value;
            }
        } else if (isOption(QStringLiteral("--default"))) {
            if (const auto value = takeValue(QStringLiteral("--default"))) {
                const qsizetype equals = value->indexOf(QLatin1Char('='));
                if (equals <= 0)
                    fail(QStringLiteral("--default needs KEY=VALUE, not “%1”").arg(*value));
                else
                    parsed.global.defaults.append(
                        {value->left(equals), defaultValueFromText(value->mid(equals + 1))});
            }
        } else if (argument == QStringLiteral("--verbose")) {
            parsed.global.verbose = true;
        } else if (argument == QStringLiteral("--quiet")) {
            parsed.global.quiet = true;
        } else if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            parsed.global.help = true;
        } else if (argument == QStringLiteral("--version") && parsed.subcommand.isEmpty()) {
            parsed.global.version = true;
        } else if (parsed.subcommand.isEmpty() && !argument.startsWith(QLatin1Char('-'))) {
            parsed.subcommand = argument;
        } else if (parsed.subcommand.isEmpty()) {
            fail(QStringLiteral("unknown option %1").arg(argument));
        } else {
            parsed.arguments.append(argument);
        }
    }
    if (parsed.global.verbose && parsed.global.quiet)
        fail(QStringLiteral("--verbose and --quiet exclude each other"));
    return parsed;
}

} // namespace cli

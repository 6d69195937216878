#include "cli/DataSourceSetCommand.h"

#include "cli/DataSourceFiles.h"
#include "cli/FeedAuthOptions.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceTokenizer.h"
#include "platform/RedactedText.h"

#include <functional>

namespace cli {

namespace {

// "<#Title!>" in a format given on the command line names a column by title or identifier;
// it becomes that column's token. Tokens already naming a unique identifier stay.
QString resolveTokens(const NVSCGDataSource& dataSource, const QString& format) {
    QString result;
    for (const NVSCGDataSourceTokenizer::Item& item : NVSCGDataSourceTokenizer::split(format)) {
        const QString inner = item.uniqueID().toString();
        NVSCGDataSourceColumnPtr column;
        if (item.isToken && !dataSource.columnWithUniqueID(inner)) {
            for (const NVSCGDataSourceColumnPtr& candidate : dataSource.columns()) {
                if (candidate->title() == inner || candidate->identifier() == inner) {
                    column = candidate;
                    break;
                }
            }
        }
        result.append(column ? NVSCGDataSourceTokenizer::tokenCode(column->uniqueID())
                             : item.text.toString());
    }
    return result;
}

} // namespace

QString DataSourceSetCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli datasource set FILE [options]\n\n"
        "Changes a data-source file and saves it. Options apply in the order given.\n\n"
        "Options:\n"
        "  --url URL                       the feed: http(s) URL, file URL or file path\n"
        "  --xpath XPATH                   the repeating element, e.g. /feed/race[*]\n"
        "  --auto-update on|off            refresh on a timer\n"
        "  --frequency SECONDS             the timer's period (at least 0.1)\n"
        "  --export-path PATH              the playlist file exported when the rows change\n"
        "  --add-column TITLE=IDENTIFIER   a column reading IDENTIFIER (a wildcard XPath, e.g.\n"
        "                                  /feed/race[*]/Name); nothing when a column reads it already\n"
        "  --add-format-column TITLE=FORMAT  a column built from FORMAT: text and tokens <#X!>, X being\n"
        "                                  a column's unique identifier, title or identifier\n"
        "  --feed-auth SCHEME              how the feed requests authenticate: none, basic, bearer or\n"
        "                                  headers (the secrets go to the keychain, never to the file)\n"
        "  --feed-user USER                the Basic user name\n"
        "  --feed-secret-env VAR           the Basic password or Bearer token, read from the\n"
        "                                  environment variable VAR\n"
        "  --feed-header NAME              a custom header sent with the feed requests (repeatable)\n"
        "  --feed-header-env NAME=VAR      a custom header whose value is read from the environment\n"
        "                                  variable VAR (repeatable)\n");
}

int DataSourceSetCommand::run(CliContext& context, const QStringList& arguments) {
    const auto usage = [&](const QString& message) {
        context.err << "graflink-cli datasource set: " << message << Qt::endl;
        return UsageError;
    };
    if (arguments.isEmpty() || arguments.first().startsWith(QLatin1String("--")))
        return usage(QStringLiteral("expects FILE first"));
    const QString path = arguments.first();

    // Check every option before touching the file.
    std::vector<std::function<void(NVSCGDataSource&)>> changes;
    FeedAuthOptions feedAuth;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString option = arguments.at(i);
        if (i + 1 >= arguments.size())
            return usage(QStringLiteral("%1 needs a value").arg(option));
        const QString value = arguments.at(++i);
        if (option == QLatin1String("--url")) {
            const QUrl url = DataSourceFiles::urlFromArgument(value);
            if (!url.isValid() || value.isEmpty())
                return usage(QStringLiteral("not a URL: %1").arg(platform::RedactedText::fromText(value)));
            changes.push_back([url](NVSCGDataSource& d) { d.setDataSourceURL(url); });
        } else if (option == QLatin1String("--xpath")) {
            changes.push_back([value](NVSCGDataSource& d) { d.setXPath(value); });
        } else if (option == QLatin1String("--auto-update")) {
            if (value != QLatin1String("on") && value != QLatin1String("off"))
                return usage(QStringLiteral("--auto-update takes on or off"));
            const bool on = value == QLatin1String("on");
            changes.push_back([on](NVSCGDataSource& d) { d.setAutoUpdate(on); });
        } else if (option == QLatin1String("--frequency")) {
            bool ok = false;
            const double seconds = value.toDouble(&ok);
            if (!ok)
                return usage(QStringLiteral("--frequency takes a number of seconds"));
            changes.push_back([seconds](NVSCGDataSource& d) { d.setAutoUpdateFrequency(seconds); });
        } else if (option == QLatin1String("--export-path")) {
            changes.push_back([value](NVSCGDataSource& d) { d.setExportPath(value); });
        } else if (FeedAuthOptions::handles(option)) {
            if (const std::optional<QString> reason = feedAuth.take(option, value))
                return usage(*reason);
        } else if (option == QLatin1String("--add-column") ||
                   option == QLatin1String("--add-format-column")) {
            const qsizetype equals = value.indexOf(QLatin1Char('='));
            if (equals < 0)
                return usage(QStringLiteral("%1 takes TITLE=VALUE").arg(option));
            const QString title = value.left(equals);
            const QString rest = value.mid(equals + 1);
            if (option == QLatin1String("--add-column")) {
                changes.push_back([title, rest](NVSCGDataSource& d) { d.addColumnWithTitle(title, rest); });
            } else {
                changes.push_back([title, rest](NVSCGDataSource& d) {
                    const NVSCGDataSourceColumnPtr column = d.addNewColumnAtIndex(d.countOfColumns());
                    column->setTitle(title);
                    column->setFormat(resolveTokens(d, rest));
                });
            }
        } else {
            return usage(QStringLiteral("unknown option %1").arg(option));
        }
    }

    // This command only edits the file: no request goes out, least of all with the settings it
    // is about to change (a feed's new header would be missing from it).
    std::unique_ptr<NVSCGDataSource> dataSource = DataSourceFiles::open(
        path, context.err, QStringLiteral("datasource set"), DataSourceFiles::Refresh::None);
    if (!dataSource)
        return Failure;
    for (const auto& change : changes)
        change(*dataSource);
    if (!feedAuth.isEmpty()) {
        QString reason;
        const std::optional<platform::FeedAuthentication> authentication =
            feedAuth.apply(dataSource->feedAuthentication(), &reason);
        if (!authentication) {
            dataSource->close();
            return usage(reason);
        }
        dataSource->setFeedAuthentication(*authentication);
        // The secret first: a file whose secret is missing would fetch without it.
        if (const std::optional<QString> failure =
                feedAuth.storeSecret(dataSource->feedAuthentication(), dataSource->dataSourceURL())) {
            dataSource->close();
            context.err << "graflink-cli datasource set: " << *failure << Qt::endl;
            return Failure;
        }
    }
    platform::Error error;
    const bool saved = dataSource->save(&error);
    // Closing turns the timer off, so only after the settings have been saved.
    dataSource->close();
    if (!saved) {
        context.err << "graflink-cli datasource set: " << error.localizedDescription() << Qt::endl;
        return Failure;
    }
    return Success;
}

} // namespace cli

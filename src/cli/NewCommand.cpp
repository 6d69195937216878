#include "cli/NewCommand.h"

#include "app/GraflinkDocument.h"
#include "app/GraflinkDocumentFeedAuth.h"
#include "app/GraflinkVariable.h"
#include "cli/FeedAuthOptions.h"
#include "platform/AtomicFile.h"
#include "platform/PropertyList.h"

#include <QFileInfo>
#include <cmath>
#include <nlohmann/json.hpp>

namespace cli {

QString NewCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli new DOC [options]\n\n"
        "Writes a new Graflink document (.graflink) with the defaults of a new document.\n\n"
        "Options:\n"
        "  --source URL              the feed address\n"
        "  --server HOST[:PORT]      the CG server\n"
        "  --type N                  the CG server's API generation (1 or 2)\n"
        "  --password P              the CG server's password\n"
        "  --publish                 publish values to the CG server\n"
        "  --auto-refresh SECONDS    refresh on a timer with this period\n"
        "  --filter FILE             JavaScript filter file\n"
        "  --var JSON                a variable in the file's dictionary form (repeatable), e.g.\n"
        "                            "
        "'{\"XPath\":\"a/b\",\"CGProjectName\":\"Scores\",\"CGProjectFieldName\":\"Home\",\"valueType\":0}'\n"
        "  --stale-after SECONDS     alarm once when no refresh has succeeded for this long\n"
        "  --change-only             send a field only when its value changed\n"
        "  --full-publish SECONDS    with --change-only: send every field this often (default 60)\n"
        "  --feed-auth SCHEME        how the feed requests authenticate: none, basic, bearer or\n"
        "                            headers (the secrets go to the keychain, never to the file)\n"
        "  --feed-user USER          the Basic user name\n"
        "  --feed-secret-env VAR     the Basic password or Bearer token, read from the environment\n"
        "                            variable VAR\n"
        "  --feed-header NAME        a custom header sent with the feed requests (repeatable)\n"
        "  --feed-header-env NAME=VAR  a custom header whose value is read from the environment\n"
        "                            variable VAR (repeatable)\n"
        "  --force                   replace an existing file\n"
        "\nA variable's fallback (\"fallbackMode\": 0 keep what is on air, 1 send the empty text,\n"
        "2 send \"fallbackText\") is set in its --var JSON.\n");
}

int NewCommand::run(CliContext& context, const QStringList& arguments) {
    QString path;
    bool force = false;
    GraflinkDocument document;
    QVariantMap file = document.fileDictionary();
    QVariantList variables;
    FeedAuthOptions feedAuth;
    auto usage = [&](const QString& message) {
        context.err << "graflink-cli new: " << message << Qt::endl;
        return UsageError;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        auto value = [&]() -> std::optional<QString> {
            if (i + 1 < arguments.size())
                return arguments.at(++i);
            return std::nullopt;
        };
        if (argument == QStringLiteral("--publish")) {
            file.insert(GraflinkDocument::PublishToCGKey, true);
        } else if (argument == QStringLiteral("--force")) {
            force = true;
        } else if (argument == QStringLiteral("--change-only")) {
            file.insert(GraflinkDocument::ChangeOnlyPublishingKey, true);
        } else if (argument.startsWith(QStringLiteral("--"))) {
            const std::optional<QString> v = value();
            if (!v)
                return usage(QStringLiteral("%1 needs a value").arg(argument));
            if (argument == QStringLiteral("--source")) {
                file.insert(GraflinkDocument::SourceURLStringKey, *v);
            } else if (argument == QStringLiteral("--server")) {
                // HOST, HOST:PORT, [IPv6] or [IPv6]:PORT; a bare IPv6 address has no port.
                QString host = *v;
                QString port;
                if (v->startsWith(QLatin1Char('['))) {
                    const qsizetype close = v->indexOf(QLatin1Char(']'));
                    host = v->mid(1, close - 1);
                    if (close > 0 && v->mid(close + 1).startsWith(QLatin1Char(':')))
                        port = v->mid(close + 2);
                } else if (v->count(QLatin1Char(':')) == 1) {
                    host = v->section(QLatin1Char(':'), 0, 0);
                    port = v->section(QLatin1Char(':'), 1);
                }
                if (!port.isNull()) {
                    bool ok = false;
                    const uint number = port.toUInt(&ok);
                    if (!ok || number == 0 || number > 65535)
                        return usage(
                            QStringLiteral("--server needs HOST[:PORT] with a port from 1 to 65535"));
                    file.insert(GraflinkDocument::CGServerPortNumberKey, static_cast<qint64>(number));
                }
                file.insert(GraflinkDocument::CGServerIPAddressKey, host);
            } else if (argument == QStringLiteral("--type")) {
                bool ok = false;
                const int type = v->toInt(&ok);
                if (!ok)
                    return usage(QStringLiteral("--type needs an integer"));
                file.insert(GraflinkDocument::CGServerTypeKey,
                            static_cast<qint64>(static_cast<quint32>(type)));
            } else if (argument == QStringLiteral("--password")) {
                file.insert(GraflinkDocument::CGServerPasswordKey, *v);
            } else if (argument == QStringLiteral("--auto-refresh")) {
                bool ok = false;
                const double seconds = v->toDouble(&ok);
                if (!ok || !(seconds > 0))
                    return usage(QStringLiteral("--auto-refresh needs a period in seconds above 0"));
                file.insert(GraflinkDocument::AutoRefreshKey, true);
                file.insert(GraflinkDocument::RefreshFrequencyKey, seconds);
            } else if (argument == QStringLiteral("--stale-after") ||
                       argument == QStringLiteral("--full-publish")) {
                bool ok = false;
                const double seconds = v->toDouble(&ok);
                if (!ok || !(seconds > 0) || !std::isfinite(seconds))
                    return usage(QStringLiteral("%1 needs a period in seconds above 0").arg(argument));
                file.insert(argument == QStringLiteral("--stale-after")
                                ? GraflinkDocument::StaleAfterSecondsKey
                                : GraflinkDocument::FullPublishSecondsKey,
                            seconds);
            } else if (argument == QStringLiteral("--filter")) {
                file.insert(GraflinkDocument::JavascriptFilterPathKey, QFileInfo(*v).absoluteFilePath());
            } else if (FeedAuthOptions::handles(argument)) {
                if (const std::optional<QString> reason = feedAuth.take(argument, *v))
                    return usage(*reason);
            } else if (argument == QStringLiteral("--var")) {
                platform::Error error;
                const std::optional<platform::JsonValue> json = platform::parseJson(v->toUtf8(), &error);
                if (!json || !json->is_object())
                    return usage(
                        QStringLiteral("--var needs a JSON object: %1")
                            .arg(json ? QStringLiteral("not an object") : error.localizedDescription()));
                // Through the variable itself, so the stored form is exactly what a document writes.
                const GraflinkVariable variable(platform::jsonToVariant(*json).toMap());
                variables.append(variable.dictionaryRepresentation());
            } else {
                return usage(QStringLiteral("unknown option %1").arg(argument));
            }
        } else if (path.isEmpty()) {
            path = argument;
        } else {
            return usage(QStringLiteral("one document at a time"));
        }
    }
    if (path.isEmpty())
        return usage(QStringLiteral("which document? (graflink-cli new DOC)"));
    QString reason;
    const std::optional<platform::FeedAuthentication> authentication =
        feedAuth.apply(platform::FeedAuthentication(), &reason);
    if (!authentication)
        return usage(reason);
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + GraflinkDocument::FileExtension;
    if (QFileInfo::exists(path) && !force) {
        context.err << "graflink-cli new: " << path << " exists; use --force to replace it" << Qt::endl;
        return Failure;
    }
    file.insert(GraflinkDocument::VariablesKey, variables);
    GraflinkDocumentFeedAuth::write(*authentication, file);
    // The secret first: a file whose secret is missing would fetch without it.
    const QUrl feed(file.value(GraflinkDocument::SourceURLStringKey).toString().trimmed(), QUrl::StrictMode);
    if (const std::optional<QString> failure = feedAuth.storeSecret(*authentication, feed)) {
        context.err << "graflink-cli new: " << *failure << Qt::endl;
        return Failure;
    }

    platform::Error error;
    const QByteArray bytes = platform::PropertyList::writeXml(file, &error);
    // The CG server password is kept in the file: a new file holding one is the owner's alone.
    const bool secret = !file.value(GraflinkDocument::CGServerPasswordKey).toString().isEmpty();
    if (bytes.isEmpty() ||
        !platform::AtomicFile::write(path, bytes, &error,
                                     secret ? platform::AtomicFile::NewFileMode::OwnerOnly
                                            : platform::AtomicFile::NewFileMode::Default)) {
        context.err << "graflink-cli new: " << error.localizedDescription() << Qt::endl;
        return Failure;
    }
    context.out << QFileInfo(path).absoluteFilePath() << Qt::endl;
    return Success;
}

} // namespace cli

#include "cli/PathsCommand.h"

#include "app/FeedFetcher.h"
#include "app/FeedInventory.h"
#include "app/FeedResponse.h"
#include "app/GraflinkDocument.h"
#include "app/GraflinkDocumentFeedAuth.h"
#include "appbase/NVSLogController.h"
#include "cli/EventLoopWait.h"
#include "feed/FeedCredentials.h"
#include "feed/FeedSizeLimit.h"
#include "platform/HttpClient.h"
#include "platform/PropertyList.h"
#include "platform/RedactedText.h"
#include "platform/UserDefaults.h"

#include <QFile>
#include <QUrl>
#include <atomic>
#include <nlohmann/json.hpp>

namespace cli {

QString PathsCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli paths SOURCE [--jsonpath]\n\n"
        "SOURCE is a Graflink document or an http(s) URL. Fetches the feed as the document's path\n"
        "inventory does and prints every path, one per line, in inventory order (duplicates\n"
        "included). Exit status 1 when no feed could be fetched and parsed, with the reason.\n\n"
        "  --jsonpath  for a JSON feed, print the paths as JSONPath queries ($.a.b[0]).\n");
}

int PathsCommand::run(CliContext& context, const QStringList& arguments) {
    QStringList sources = arguments;
    const bool jsonPath = sources.removeAll(QStringLiteral("--jsonpath")) > 0;
    if (sources.size() != 1 || sources.first().startsWith(QLatin1String("--"))) {
        context.err << "graflink-cli paths: needs exactly one SOURCE" << Qt::endl;
        return UsageError;
    }
    const QString& source = sources.first();
    QString address = source;
    platform::FeedAuthentication authentication;
    const QUrl asUrl(source, QUrl::StrictMode);
    if (asUrl.scheme().isEmpty() || QFile::exists(source)) {
        // A document: read its feed address without opening it (opening would start refreshes).
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly)) {
            context.err << "graflink-cli paths: cannot read " << source << ": " << file.errorString()
                        << Qt::endl;
            return Failure;
        }
        platform::Error error;
        const std::optional<QVariant> plist = platform::PropertyList::read(file.readAll(), &error);
        if (!plist || plist->typeId() != QMetaType::QVariantMap) {
            context.err << "graflink-cli paths: " << source << " is not a Graflink document" << Qt::endl;
            return Failure;
        }
        const QVariant stored = plist->toMap().value(GraflinkDocument::SourceURLStringKey);
        address = stored.isValid() ? stored.toString() : GraflinkDocument::DefaultSourceURLString;
        authentication = GraflinkDocumentFeedAuth::read(plist->toMap());
    }
    std::shared_ptr<platform::FeedCredentials> credentials;
    if (authentication.isEnabled()) {
        NVSLogController* logger = &context.logger;
        credentials = std::make_shared<platform::FeedCredentials>(
            authentication, nullptr, [logger](const QString& line) { logger->logMessage(line, 1, false); });
    }

    platform::http::Client client(1);
    std::shared_ptr<FeedResponse> result;
    std::atomic<bool> done{false};
    const FeedFetcher::Limits limits{
        FeedFetcher::InventoryTimeouts,
        platform::FeedSizeLimit::bytes(platform::UserDefaults::standardUserDefaults())};
    FeedFetcher::start(client, address, limits, credentials, [&](std::shared_ptr<FeedResponse> response) {
        for (const FeedResponse::LogLine& line : std::as_const(response->logLines))
            context.logger.logMessage(line.text, line.level, false);
        result = std::move(response);
        done = true;
    });
    runEventLoopUntil([&] { return done.load(); }, std::chrono::hours(24 * 7));
    if (!result->hasFeed()) {
        context.err << "graflink-cli paths: " << platform::RedactedText::fromText(address) << ": "
                    << result->failureReason << Qt::endl;
        return Failure;
    }
    const QStringList paths =
        result->xml
            ? FeedInventory::ofXml(*result->xml)
            : FeedInventory::ofJson(*result->jsonValue(), jsonPath ? FeedInventory::JsonForm::JsonPath
                                                                   : FeedInventory::JsonForm::KeyPaths);
    for (const QString& path : paths)
        context.out << path << '\n';
    context.out.flush();
    return Success;
}

} // namespace cli

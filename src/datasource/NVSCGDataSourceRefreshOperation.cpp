#include "datasource/NVSCGDataSourceRefreshOperation.h"

#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceContentType.h"
#include "datasource/NVSCGDataSourceFeed.h"
#include "datasource/NVSCGDataSourceFeedReception.h"
#include "datasource/NVSCGDataSourceLog.h"
#include "datasource/NVSURLUtilities.h"
#include "feed/CsvFeed.h"
#include "feed/FeedCredentials.h"
#include "feed/FeedSizeLimit.h"
#include "platform/BackgroundRelease.h"
#include "platform/BoundedFileRead.h"
#include "platform/HttpRequest.h"
#include "platform/HttpResponse.h"
#include "platform/Json.h"
#include "platform/MainQueue.h"
#include "platform/UserDefaults.h"
#include "platform/XmlDocument.h"

#include <QFile>
#include <nlohmann/json.hpp>

namespace {

// The whole file, unless it is larger than the feed size limit or cannot be read. A FIFO, a device
// or a file that grows while read gets the same bounds as a network feed.
std::optional<QByteArray> readFeedFile(const QString& path, platform::Error& error) {
    const qint64 limit = platform::FeedSizeLimit::bytes(platform::UserDefaults::standardUserDefaults());
    return platform::BoundedFileRead::read(
        path, limit, std::chrono::milliseconds(qint64(NVSCGDataSource::RequestTimeout * 1000.0)), &error);
}

// A feed's bytes (consumed) as the data source's feed: a CSV feed through its conversion, XML
// parsed with the positions recorded on the way. Null, with `error`, when they do not read.
std::shared_ptr<NVSCGDataSourceFeed> xmlFeed(QByteArray&& bytes, std::optional<char16_t> csv,
                                             platform::Error& error) {
    if (!csv)
        return NVSCGDataSourceFeed::parse(std::move(bytes), &error);
    std::shared_ptr<platform::XmlDocument> document =
        platform::BackgroundRelease::share(CsvFeed::toXml(bytes, *csv, &error));
    return document ? std::make_shared<NVSCGDataSourceFeed>(std::move(document)) : nullptr;
}

} // namespace

NVSCGDataSourceRefreshOperation::NVSCGDataSourceRefreshOperation(NVSCGDataSource* dataSource)
    : m_dataSource(dataSource), m_guard(dataSource) {}

void NVSCGDataSourceRefreshOperation::finish(const QPointer<NVSCGDataSource>& dataSource, bool delivered) {
    platform::MainQueue::dispatchAsync([dataSource, delivered] {
        if (dataSource)
            dataSource->finishRefresh(delivered);
    });
}

void NVSCGDataSourceRefreshOperation::run(const platform::SerialExecutor::CancellationFlag& cancelled) {
    QPointer<NVSCGDataSource> guard = m_guard;
    platform::MainQueue::dispatchAsync([guard] {
        if (guard)
            guard->setStatus(NVSCGDataSource::Refreshing);
    });
    const QUrl url = m_dataSource->dataSourceURL();
    if (url.isLocalFile()) {
        refreshFile(url.toLocalFile(), cancelled);
        return;
    }
    if (url.isEmpty()) {
        // Nothing to request: a failed fetch, so the status still ends at 3.
        NVSCGDataSourceLog::format(QStringLiteral("URL Session Task Failed: %@"),
                                   QStringLiteral("The data source has no URL."));
        finish(m_guard, false);
        return;
    }
    startRemote(url);
}

void NVSCGDataSourceRefreshOperation::refreshFile(
    const QString& path, const platform::SerialExecutor::CancellationFlag& cancelled) {
    bool delivered = false;
    const NVSCGDataSourceContentType::Kind kind = NVSCGDataSourceContentType::ofFile(path);
    const std::optional<char16_t> csv = CsvFeed::separatorForFile(path);
    if (csv || kind == NVSCGDataSourceContentType::XML) {
        platform::Error error;
        std::shared_ptr<NVSCGDataSourceFeed> feed;
        if (std::optional<QByteArray> bytes = readFeedFile(path, error))
            feed = xmlFeed(std::move(*bytes), csv, error);
        if (!feed) {
            NVSCGDataSourceLog::write(error.localizedDescription());
            NVSCGDataSourceLog::write(QStringLiteral("..."));
        } else if (!cancelled->load()) {
            m_dataSource->processFeed(std::move(feed));
            delivered = true;
        }
    } else if (kind == NVSCGDataSourceContentType::JSON) {
        platform::Error error;
        std::optional<platform::JsonValue> value;
        if (const auto bytes = readFeedFile(path, error))
            value = platform::parseJson(*bytes, &error);
        if (!value) {
            NVSCGDataSourceLog::write(error.localizedDescription());
        } else if (!cancelled->load()) {
            m_dataSource->processJSONObject(*value);
            delivered = true;
        }
    }
    finish(m_guard, delivered);
}

void NVSCGDataSourceRefreshOperation::startRemote(const QUrl& url) {
    QPointer<NVSCGDataSource> guard = m_guard;
    std::shared_ptr<platform::FeedCredentials> credentials = m_dataSource->feedCredentials();
    auto reception = std::make_shared<NVSCGDataSourceFeedReception>();
    NVSURLUtilities::Preparation prepare = [credentials, reception](platform::http::Request& request) {
        if (credentials)
            credentials->addTo(request);
        request.bodyConsumer = reception;
    };
    NVSURLUtilities::loadRemoteContentOfURL(
        url, NVSCGDataSource::RequestTimeout, NVSCGDataSource::ResourceTimeout, QByteArrayLiteral("GET"),
        std::move(prepare), [guard, credentials, reception](platform::http::Response response) {
            if (credentials && response.isComplete())
                credentials->noteStatus(response.statusCode);
            handleResponse(guard, std::move(response), *reception);
        });
}

void NVSCGDataSourceRefreshOperation::deliverXmlFeed(const QPointer<NVSCGDataSource>& guard,
                                                     std::shared_ptr<NVSCGDataSourceFeed> feed,
                                                     const platform::Error& error) {
    if (!feed) {
        // Why, as for a feed file: the parser's own words ("line 3: ...").
        NVSCGDataSourceLog::write(error.localizedDescription());
        finish(guard, false);
        return;
    }
    // The tree is built here, off the main thread; the main thread only takes it over.
    NVSCGDataSourceNodePtr root = NVSCGDataSourceFeed::buildTree(feed);
    platform::MainQueue::dispatchAsync([guard, feed, root] {
        if (!guard)
            return;
        guard->adoptXMLTree(feed, root);
        guard->finishRefresh(true);
    });
}

void NVSCGDataSourceRefreshOperation::handleResponse(const QPointer<NVSCGDataSource>& guard,
                                                     platform::http::Response response,
                                                     NVSCGDataSourceFeedReception& reception) {
    if (response.error) {
        NVSCGDataSourceLog::format(QStringLiteral("URL Session Task Failed: %@"),
                                   response.error->localizedDescription());
        finish(guard, false);
        return;
    }
    NVSCGDataSourceLog::format(QStringLiteral("URL Session Task Succeeded: HTTP %ld"),
                               qint64(response.statusCode));
    if (response.bodyConsumed) {
        platform::Error error;
        std::shared_ptr<NVSCGDataSourceFeed> feed = reception.finish(error);
        deliverXmlFeed(guard, std::move(feed), error);
        return;
    }
    if (response.statusCode != 200 || response.body.isEmpty()) {
        finish(guard, false);
        return;
    }
    const std::optional<QByteArray> header = response.header("Content-Type");
    const QString contentType = header ? QString::fromUtf8(*header) : QString();
    // The rule is case-sensitive on purpose: "xml" first, then "json". A CSV feed reads as XML.
    const std::optional<char16_t> csv = CsvFeed::separatorFor(header.value_or(QByteArray()), response.url);
    if (csv || contentType.contains(QLatin1String("xml"))) {
        platform::Error error;
        std::shared_ptr<NVSCGDataSourceFeed> feed = xmlFeed(std::move(response.body), csv, error);
        deliverXmlFeed(guard, std::move(feed), error);
    } else if (contentType.contains(QLatin1String("json"))) {
        platform::Error error;
        std::optional<platform::JsonValue> value = platform::parseJson(response.body, &error);
        if (!value) {
            NVSCGDataSourceLog::write(error.localizedDescription());
            finish(guard, false);
            return;
        }
        auto shared = std::make_shared<platform::JsonValue>(std::move(*value));
        platform::MainQueue::dispatchAsync([guard, shared] {
            if (!guard)
                return;
            guard->processJSONObject(*shared);
            guard->finishRefresh(true);
        });
    } else {
        NVSCGDataSourceLog::format(QStringLiteral("Unknown response type: %@"),
                                   header ? contentType : QStringLiteral("(null)"));
        finish(guard, false);
    }
}

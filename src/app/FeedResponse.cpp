#include "app/FeedResponse.h"

#include "feed/CsvFeed.h"
#include "platform/BackgroundRelease.h"
#include "platform/HttpHeaderList.h"
#include "platform/HttpResponse.h"
#include "platform/RedactedText.h"
#include "platform/StringFormat.h"
#include "platform/XmlDocument.h"

#include <QThreadPool>
#include <nlohmann/json.hpp>

using platform::StringFormat;

namespace {

// The content type's rule, case-sensitive on the raw header: "xml" wins, so application/rss+xml
// is XML.
bool isXmlType(const QByteArray& type) {
    return type.contains("xml");
}

bool isJsonType(const QByteArray& type) {
    return !isXmlType(type) && type.contains("json");
}

} // namespace

void FeedResponse::bodyStarting(int statusCode, const platform::http::HeaderList& headers,
                                const WantedPaths& wanted) {
    if (statusCode != 200 || !wanted.makeAhead)
        return;
    const QByteArray type = headers.value("Content-Type").value_or(QByteArray());
    if (CsvFeed::separatorFor(type, QUrl()))
        return; // read as a table, not for paths
    std::function<void()> make;
    if (isXmlType(type) && wanted.xml)
        make = [xml = wanted.xml] { xml(); };
    else if (isJsonType(type) && wanted.json)
        make = [json = wanted.json] { json(); };
    if (make)
        QThreadPool::globalInstance()->start(std::move(make));
}

FeedResponse FeedResponse::failed(const QString& reason) {
    FeedResponse result;
    // Reasons may quote the feed address, password and all.
    result.failureReason = platform::RedactedText::fromText(reason);
    result.logLines.append(
        {2, StringFormat::format(QStringLiteral("URL Session Task Failed: %@"), result.failureReason)});
    return result;
}

FeedResponse FeedResponse::interpret(const platform::http::Response& response, const WantedPaths& wanted) {
    if (response.error)
        return failed(response.error->localizedDescription());

    FeedResponse result;
    result.logLines.append({2, StringFormat::format(QStringLiteral("URL Session Task Succeeded: HTTP %ld"),
                                                    response.statusCode)});
    if (response.statusCode != 200) {
        result.failureReason = QStringLiteral("HTTP status %1").arg(response.statusCode);
        return result;
    }
    if (response.body.isEmpty()) {
        result.failureReason = QStringLiteral("the feed's body is empty");
        return result;
    }

    const std::optional<QByteArray> contentType = response.header("Content-Type");
    const QByteArray type = contentType.value_or(QByteArray());
    if (const std::optional<char16_t> separator = CsvFeed::separatorFor(type, response.url)) {
        platform::Error error;
        if (std::unique_ptr<platform::XmlDocument> document =
                CsvFeed::toXml(response.body, *separator, &error))
            result.xml = platform::BackgroundRelease::share(std::move(document));
        else
            result.failureReason =
                QStringLiteral("the CSV feed cannot be read (%1)").arg(error.localizedDescription());
        return result;
    }
    if (isXmlType(type)) {
        result.streamedPaths = wanted.xml ? wanted.xml() : nullptr;
        if (result.streamedPaths) {
            result.xmlPathValues = result.streamedPaths->firstStringValues(response.body);
            if (result.xmlPathValues)
                return result;
        }
        platform::Error error;
        std::unique_ptr<platform::XmlDocument> document = platform::XmlDocument::parse(response.body, &error);
        // The tree goes back to the allocator on the release thread, not on the thread that
        // drops the response last (the main thread, right after the refresh).
        if (document)
            result.xml = platform::BackgroundRelease::share(std::move(document));
        else
            result.failureReason =
                QStringLiteral("the feed is not well-formed XML (%1)").arg(error.localizedDescription());
        return result;
    }
    if (isJsonType(type)) {
        result.streamedKeyPaths = wanted.json ? wanted.json() : nullptr;
        if (result.streamedKeyPaths) {
            if (std::optional<platform::StreamedKeyPaths::Values> values =
                    result.streamedKeyPaths->values(response.body)) {
                result.jsonPathValues =
                    std::make_shared<const platform::StreamedKeyPaths::Values>(std::move(*values));
                return result;
            }
        }
        // The compact form first: a few milliseconds for megabytes, and only the values the
        // variables ask for are built. What it refuses goes to the full parser, which words the
        // error.
        if (std::unique_ptr<platform::JsonFeed> feed = platform::JsonFeed::parse(response.body)) {
            if (feed->isObject() || feed->isArray())
                result.jsonFeed = platform::BackgroundRelease::share(
                    std::unique_ptr<const platform::JsonFeed>(std::move(feed)));
            else
                result.failureReason = QStringLiteral("the feed's JSON is neither an object nor an array");
            return result;
        }
        platform::Error error;
        std::optional<platform::JsonValue> value = platform::parseJson(response.body, &error);
        // The top level must be an object or an array.
        if (value && (value->is_object() || value->is_array()))
            result.json = platform::BackgroundRelease::share(
                std::make_unique<const platform::JsonValue>(std::move(*value)));
        else if (value)
            result.failureReason = QStringLiteral("the feed's JSON is neither an object nor an array");
        else
            result.failureReason =
                QStringLiteral("the feed is not valid JSON (%1)").arg(error.localizedDescription());
        return result;
    }
    result.failureReason = QStringLiteral("unknown content type “%1”").arg(QString::fromUtf8(type));
    result.logLines.append(
        {2, StringFormat::format(QStringLiteral("Unknown response type: %@"),
                                 contentType ? QVariant(QString::fromUtf8(*contentType)) : QVariant())});
    return result;
}

std::shared_ptr<const platform::JsonValue> FeedResponse::jsonValue() const {
    if (json)
        return json;
    if (jsonFeed)
        return std::make_shared<const platform::JsonValue>(jsonFeed->toJsonValue());
    return nullptr;
}

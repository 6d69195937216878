#pragma once

#include "platform/Json.h"
#include "platform/JsonFeed.h"
#include "platform/StreamedKeyPaths.h"
#include "platform/StreamedLocationPaths.h"

#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace platform {
class XmlDocument;
namespace http {
class HeaderList;
struct Response;
} // namespace http
} // namespace platform

/// What one feed response turned into: an XML document, a JSON feed, or nothing, together
/// with the technical-log lines the fetch writes on the way. Runs on any thread; a JSON feed is
/// then used by one thread at a time.
class FeedResponse {
  public:
    struct LogLine {
        qint64 level;
        QString text;
    };

    /// The paths a feed is wanted for, asked on the worker once its type is known (either may be
    /// empty, or give null).
    struct WantedPaths {
        std::function<std::shared_ptr<const platform::StreamedLocationPaths>()> xml;
        std::function<std::shared_ptr<const platform::StreamedKeyPaths>()> json;
        /// Whether the paths are still to be made (before a document's first feed): those of the
        /// feed's type are then made on a worker as soon as the response's type is known, while
        /// its body is still arriving, instead of after it. False in a value made with `{}`.
        bool makeAhead;
    };
    /// Interprets a completed (or failed) response: transport failure, status 200 with a body,
    /// then the content type ("xml" first, then "json") and one parse. With wanted paths for the
    /// feed's type, the feed is first answered for them in a streamed pass, without its tree or
    /// compact form; the full parse runs only where the pass cannot tell.
    static FeedResponse interpret(const platform::http::Response& response, const WantedPaths& wanted = {});
    /// Called when the body of a response with `headers` starts to arrive: makes the wanted paths
    /// still to be made for the feed's type on a worker (see WantedPaths).
    static void bodyStarting(int statusCode, const platform::http::HeaderList& headers,
                             const WantedPaths& wanted);
    /// A fetch that could not be made at all (no usable address).
    static FeedResponse failed(const QString& reason);

    bool hasFeed() const { return xml || xmlPathValues || jsonFeed || json || jsonPathValues.get(); }
    /// The JSON feed as one value (built from `jsonFeed` when that is what was parsed).
    std::shared_ptr<const platform::JsonValue> jsonValue() const;
    /// Why no feed came of the response, for people ("HTTP status 404", "empty body", ...).
    QString failureReason;

    std::shared_ptr<platform::XmlDocument> xml;
    /// An XML feed answered for the paths the fetch was given, instead of `xml`.
    std::optional<platform::StreamedLocationPaths::Values> xmlPathValues;
    /// The paths the XML feed was streamed for, answered (xmlPathValues) or not (xml).
    std::shared_ptr<const platform::StreamedLocationPaths> streamedPaths;
    /// A JSON feed in its compact parsed form: variables read their values straight from it.
    std::shared_ptr<const platform::JsonFeed> jsonFeed;
    /// A JSON feed the compact form refused but the full parser read (see platform::JsonFeed).
    std::shared_ptr<const platform::JsonValue> json;
    /// A JSON feed answered for the paths the fetch was given, instead of `jsonFeed` or `json`.
    std::shared_ptr<const platform::StreamedKeyPaths::Values> jsonPathValues;
    /// The paths the JSON feed was streamed for, answered (jsonPathValues) or not.
    std::shared_ptr<const platform::StreamedKeyPaths> streamedKeyPaths;
    QList<LogLine> logLines;
};

#pragma once

#include "platform/Json.h"

#include <QList>
#include <QString>
#include <memory>

namespace platform {
class XmlDocument;
namespace http {
struct Response;
}
} // namespace platform

/// What one feed response turned into: an XML document, a JSON value, or nothing, together
/// with the technical-log lines the fetch writes on the way. Runs on any thread.
class FeedResponse {
public:
    struct LogLine {
        qint64 level;
        QString text;
    };

    /// Interprets a completed (or failed) response: transport failure, status 200 with a body,
    /// then the content type ("xml" first, then "json") and one parse.
    static FeedResponse interpret(const platform::http::Response& response);
    /// A fetch that could not be made at all (no usable address).
    static FeedResponse failed(const QString& reason);

    bool hasFeed() const { return xml || json; }
    /// Why no feed came of the response, for people ("HTTP status 404", "empty body", ...).
    QString failureReason;

    std::shared_ptr<platform::XmlDocument> xml;
    std::shared_ptr<const platform::JsonValue> json;
    QList<LogLine> logLines;
};

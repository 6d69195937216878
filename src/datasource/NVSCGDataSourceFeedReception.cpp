#include "datasource/NVSCGDataSourceFeedReception.h"

#include "datasource/NVSCGDataSourceFeed.h"
#include "feed/CsvFeed.h"
#include "platform/XmlPushParser.h"

#include <QUrl>

NVSCGDataSourceFeedReception::NVSCGDataSourceFeedReception() = default;
NVSCGDataSourceFeedReception::~NVSCGDataSourceFeedReception() = default;

bool NVSCGDataSourceFeedReception::accepts(int statusCode, const platform::http::HeaderList& headers) {
    // The rule of a complete response: a 200 whose type names "xml" (case-sensitive) and is not
    // one of the CSV types. A type naming "xml" never falls back to the address's suffix.
    const QByteArray type = headers.value("Content-Type").value_or(QByteArray());
    if (statusCode != 200 || !type.contains("xml") || CsvFeed::separatorFor(type, QUrl()))
        return false;
    m_parser = NVSCGDataSourceFeed::pushParser();
    return true;
}

void NVSCGDataSourceFeedReception::consume(QByteArrayView piece) {
    m_parser->push(piece);
}

std::shared_ptr<NVSCGDataSourceFeed> NVSCGDataSourceFeedReception::finish(platform::Error& error) {
    return m_parser ? NVSCGDataSourceFeed::fromPushParser(*m_parser, &error) : nullptr;
}

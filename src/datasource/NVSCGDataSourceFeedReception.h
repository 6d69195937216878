#pragma once

#include "platform/Error.h"
#include "platform/HttpBodyConsumer.h"

#include <memory>

class NVSCGDataSourceFeed;
namespace platform {
class XmlPushParser;
}

/// Parses a data source's XML feed while its body arrives (HTTP transfer thread), recording the
/// positions as NVSCGDataSourceFeed::parse does: the parse overlaps the transfer and the body is
/// never held whole. Any other body (another status, a CSV or JSON feed) is declined and goes to
/// the response as before.
class NVSCGDataSourceFeedReception : public platform::http::BodyConsumer {
  public:
    NVSCGDataSourceFeedReception();
    ~NVSCGDataSourceFeedReception() override;

    bool accepts(int statusCode, const platform::http::HeaderList& headers) override;
    void consume(QByteArrayView piece) override;

    /// The feed of an accepted body once it is complete; null with `error` when not well-formed.
    std::shared_ptr<NVSCGDataSourceFeed> finish(platform::Error& error);

  private:
    std::unique_ptr<platform::XmlPushParser> m_parser;
};

#pragma once

#include "platform/HttpHeaderList.h"

#include <QByteArrayView>

namespace platform::http {

/// Takes a response's body piece by piece as it arrives, on the transferring thread, instead of
/// Response::body: a large feed is parsed while it is still on the way and never held whole.
class BodyConsumer {
  public:
    virtual ~BodyConsumer() = default;
    /// Asked once, when the first bytes of the final response's body arrive (after redirects and
    /// authentication): whether to take this body. If not, it goes to Response::body as usual.
    virtual bool accepts(int statusCode, const HeaderList& headers) = 0;
    /// The next piece of a body accepted, in order.
    virtual void consume(QByteArrayView piece) = 0;
};

} // namespace platform::http

#pragma once

#include <QByteArray>
#include <simdjson.h>

namespace platform {

/// Whether simdjson may read its SIMDJSON_PADDING bytes past the end of `bytes` inside the
/// array's own allocation. Only the room after the end counts: an array whose front was removed
/// keeps part of its capacity before its data, where capacity() - size() would overstate it.
inline bool hasSimdjsonPadding(const QByteArray& bytes) {
    // data_ptr() neither detaches nor changes the array.
    return const_cast<QByteArray&>(bytes).data_ptr().freeSpaceAtEnd() >=
           qsizetype(simdjson::SIMDJSON_PADDING);
}

} // namespace platform

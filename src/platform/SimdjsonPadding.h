#pragma once

#include <QByteArray>

namespace platform {

/// simdjson's SIMDJSON_PADDING: the bytes it may read past the end of a text (checked against
/// simdjson's own where the parses include it; this header spares its includers simdjson).
inline constexpr qsizetype SimdjsonPaddingBytes = 64;

/// Whether simdjson may read its padding past the end of `bytes` inside the array's own
/// allocation. Only the room after the end counts: an array whose front was removed keeps part of
/// its capacity before its data, where capacity() - size() would overstate it.
inline bool hasSimdjsonPadding(const QByteArray& bytes) {
    // data_ptr() neither detaches nor changes the array.
    return const_cast<QByteArray&>(bytes).data_ptr().freeSpaceAtEnd() >= SimdjsonPaddingBytes;
}

} // namespace platform

#include "support/NVSBackblazePartLayout.h"

QList<NVSByteRange> NVSBackblazePartLayout::cut(qint64 fileSize, qint64 partSize,
                                                qint64 absoluteMinimumPartSize) {
    QList<NVSByteRange> parts;
    if (fileSize <= 0 || partSize <= 0)
        return parts;
    qint64 offset = 0;
    while (offset + partSize <= fileSize) {
        parts.append({offset, partSize});
        offset += partSize;
    }
    const qint64 remainder = fileSize - offset;
    if (remainder == 0)
        return parts;
    if (parts.isEmpty() || remainder >= absoluteMinimumPartSize)
        parts.append({offset, remainder});
    else
        parts.last().length += remainder;
    return parts;
}

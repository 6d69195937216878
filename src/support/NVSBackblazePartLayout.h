#pragma once

#include <QList>
#include <QtGlobal>

/// A run of bytes of a file.
struct NVSByteRange {
    qint64 offset = 0;
    qint64 length = 0;

    friend bool operator==(const NVSByteRange&, const NVSByteRange&) = default;
};

/// How a large file is cut into the parts of a large-file upload.
class NVSBackblazePartLayout {
  public:
    /// The service refuses parts below 5 MB except the last one; a smaller remainder is added to
    /// the part before it.
    static constexpr qint64 DefaultAbsoluteMinimumPartSize = 5'000'000;

    /// Parts of `partSize` bytes from offset 0, in order; the bytes left at the end become a part
    /// of their own when there are more than `absoluteMinimumPartSize - 1` of them, else they
    /// lengthen the last part. A file shorter than one part is one part. Empty for an empty file
    /// or a part size below one byte.
    static QList<NVSByteRange> cut(qint64 fileSize, qint64 partSize,
                                   qint64 absoluteMinimumPartSize = DefaultAbsoluteMinimumPartSize);
};

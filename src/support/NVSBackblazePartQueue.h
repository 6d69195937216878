#pragma once

#include "platform/Error.h"
#include "support/NVSBackblazePartLayout.h"

#include <QList>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class NVSBackblazeUploadPart;

/// The parts of one large-file upload and how far they got: which part goes next, how many are
/// in flight, uploaded or failed, the bytes sent. The upload task changes it on the main thread;
/// the counters may be read from any thread (one lock guards them all).
class NVSBackblazePartQueue {
  public:
    using PartPointer = std::shared_ptr<NVSBackblazeUploadPart>;

    /// What ending a part left behind.
    struct Ending {
        bool allEnded = false;
        bool anyFailed = false;
        /// The parts' digests in order, once every part is uploaded.
        QStringList partSHA1s;
    };

    /// Starts over with one part per range, none sent.
    void reset(const QList<NVSByteRange>& ranges);
    /// The next part to launch, counted in flight; null when none is left or, unless
    /// `stopping`, when `maximumInFlight` are under way.
    PartPointer takeNext(bool stopping, int maximumInFlight);
    /// Records that `part` has sent `sent` bytes; returns the bytes all parts have sent.
    qint64 recordProgress(const PartPointer& part, qint64 sent);
    /// Counts `part` as ended; the first failure's error is kept.
    Ending recordEnd(const PartPointer& part, bool success, const std::optional<platform::Error>& error);
    void forEach(const std::function<void(const PartPointer&)>& visit) const;

    int totalParts() const;
    int uploadedParts() const;
    int failedPartsCount() const;
    qint64 finishedTasksUploadedBytes() const;
    std::optional<platform::Error> firstPartError() const;

  private:
    mutable std::mutex m_mutex;
    QList<PartPointer> m_parts;
    int m_uploadedParts = 0;
    int m_failedPartsCount = 0;
    qint64 m_finishedTasksUploadedBytes = 0;
    qsizetype m_nextPartIndex = 0;
    int m_partsInFlight = 0;
    std::optional<platform::Error> m_firstPartError;
};

#include "support/NVSBackblazePartQueue.h"

#include "support/NVSBackblazeUploadPart.h"

void NVSBackblazePartQueue::reset(const QList<NVSByteRange>& ranges) {
    std::lock_guard lock(m_mutex);
    m_uploadedParts = 0;
    m_failedPartsCount = 0;
    m_finishedTasksUploadedBytes = 0;
    m_nextPartIndex = 0;
    m_partsInFlight = 0;
    m_firstPartError.reset();
    m_parts.clear();
    for (qsizetype i = 0; i < ranges.size(); ++i)
        m_parts.append(std::make_shared<NVSBackblazeUploadPart>(int(i), ranges[i]));
}

NVSBackblazePartQueue::PartPointer NVSBackblazePartQueue::takeNext(bool stopping, int maximumInFlight) {
    std::lock_guard lock(m_mutex);
    if (m_nextPartIndex >= m_parts.size() || (!stopping && m_partsInFlight >= maximumInFlight))
        return nullptr;
    ++m_partsInFlight;
    return m_parts[m_nextPartIndex++];
}

qint64 NVSBackblazePartQueue::recordProgress(const PartPointer& part, qint64 sent) {
    std::lock_guard lock(m_mutex);
    part->setTotalBytesUploaded(sent);
    qint64 total = 0;
    for (const PartPointer& each : std::as_const(m_parts))
        total += each->totalBytesUploaded();
    return total;
}

NVSBackblazePartQueue::Ending NVSBackblazePartQueue::recordEnd(const PartPointer& part, bool success,
                                                               const std::optional<platform::Error>& error) {
    std::lock_guard lock(m_mutex);
    m_finishedTasksUploadedBytes += part->totalBytesUploaded();
    if (success) {
        ++m_uploadedParts;
    } else {
        ++m_failedPartsCount;
        if (!m_firstPartError)
            m_firstPartError = error;
    }
    --m_partsInFlight;
    Ending ending;
    ending.allEnded = m_uploadedParts + m_failedPartsCount == m_parts.size();
    ending.anyFailed = m_failedPartsCount > 0;
    if (ending.allEnded && !ending.anyFailed) {
        for (const PartPointer& each : std::as_const(m_parts))
            ending.partSHA1s.append(each->SHA1String());
    }
    return ending;
}

void NVSBackblazePartQueue::forEach(const std::function<void(const PartPointer&)>& visit) const {
    std::lock_guard lock(m_mutex);
    for (const PartPointer& part : m_parts)
        visit(part);
}

int NVSBackblazePartQueue::totalParts() const {
    std::lock_guard lock(m_mutex);
    return int(m_parts.size());
}

int NVSBackblazePartQueue::uploadedParts() const {
    std::lock_guard lock(m_mutex);
    return m_uploadedParts;
}

int NVSBackblazePartQueue::failedPartsCount() const {
    std::lock_guard lock(m_mutex);
    return m_failedPartsCount;
}

qint64 NVSBackblazePartQueue::finishedTasksUploadedBytes() const {
    std::lock_guard lock(m_mutex);
    return m_finishedTasksUploadedBytes;
}

std::optional<platform::Error> NVSBackblazePartQueue::firstPartError() const {
    std::lock_guard lock(m_mutex);
    return m_firstPartError;
}

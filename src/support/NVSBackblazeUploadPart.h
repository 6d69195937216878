#pragma once

#include "support/NVSBackblazePartLayout.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace platform::http {
class Task;
}

/// One part of a large-file upload: which bytes, where they go, and how far they got.
///
/// Threads: owned by its upload task and changed on the main thread only, except
/// `totalBytesUploaded`, which the task reads and writes under its part-list lock.
class NVSBackblazeUploadPart {
  public:
    NVSBackblazeUploadPart(int partNumber, NVSByteRange bytesRange);

    /// 0-based; the service numbers parts from 1.
    int partNumber() const { return m_partNumber; }
    const NVSByteRange& bytesRange() const { return m_bytesRange; }

    const QByteArray& partData() const { return m_partData; }
    /// Also sets SHA1String() to the digest of `data`.
    void setPartData(QByteArray data);
    /// Frees the bytes once they are no longer needed; the digest stays.
    void releasePartData() { m_partData = QByteArray(); }
    /// 40 lower-case hexadecimal digits; empty before any data was set.
    const QString& SHA1String() const { return m_SHA1String; }

    const QString& uploadURLString() const { return m_uploadURLString; }
    void setUploadURLString(const QString& url) { m_uploadURLString = url; }
    const QString& uploadAuthorizationToken() const { return m_uploadAuthorizationToken; }
    void setUploadAuthorizationToken(const QString& token) { m_uploadAuthorizationToken = token; }

    /// The request in flight, to cancel it; null when none was started.
    const std::shared_ptr<platform::http::Task>& uploadTask() const { return m_uploadTask; }
    void setUploadTask(std::shared_ptr<platform::http::Task> task) { m_uploadTask = std::move(task); }

    qint64 totalBytesUploaded() const { return m_totalBytesUploaded; }
    void setTotalBytesUploaded(qint64 bytes) { m_totalBytesUploaded = bytes; }

    int retryCount() const { return m_retryCount; }
    void incrementRetryCount() { ++m_retryCount; }

    bool isDone() const { return m_done; }
    void setDone(bool done) { m_done = done; }

    /// The SHA-1 digest of `data` as 40 lower-case hexadecimal digits.
    static QString SHA1ChecksumForData(const QByteArray& data);

  private:
    const int m_partNumber;
    const NVSByteRange m_bytesRange;
    QByteArray m_partData;
    QString m_SHA1String;
    QString m_uploadURLString;
    QString m_uploadAuthorizationToken;
    std::shared_ptr<platform::http::Task> m_uploadTask;
    qint64 m_totalBytesUploaded = 0;
    int m_retryCount = 0;
    bool m_done = false;
};

#pragma once

#include "platform/Error.h"
#include "support/NVSBackblazeConfiguration.h"
#include "support/NVSBackblazePartQueue.h"
#include "support/NVSBaseTask.h"

#include <QList>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace platform::http {
class Client;
class Task;
struct Request;
struct Response;
} // namespace platform::http

class NVSBackblazeUploadPart;

/// Uploads a support archive to the storage bucket of NVSBackblazeConfiguration: in one request
/// when it is no larger than the part size the service recommends, else as a large file whose
/// parts go up concurrently (a few at a time, each retried up to three times a second apart).
///
/// Threads: create, call and destroy on the main thread; the completion and every observable
/// change come on the main thread. Requests run on the HTTP client's threads and archive bytes
/// are read and digested on the global thread pool, so the main thread never waits for them.
/// Destroying the task cancels its requests; a completion not yet called is then never called.
class NVSBackblazeUploadTask : public NVSBaseTask {
    Q_OBJECT
  public:
    using Completion = std::function<void(bool success, std::optional<platform::Error> error)>;

    /// Further attempts of a part after its first.
    static constexpr int MaximumRetries = 3;
    static constexpr std::chrono::milliseconds RetryDelay{1000};
    /// Parts in flight at once: each holds its bytes in memory until it ends.
    static constexpr int DefaultMaximumConcurrentParts = 4;
    /// The largest part (and single upload) held in memory, whatever part size the service
    /// recommends.
    static constexpr qint64 MaximumPartSize = qint64(256) * 1024 * 1024;

    static inline const QString UploadingStatus = QStringLiteral("Uploading...");
    static inline const QString DoneStatus = QStringLiteral("Done !");
    static inline const QString ErrorStatus = QStringLiteral("Error !");
    static inline const QString CancelledStatus = QStringLiteral("Cancelled");
    static inline const QString PartsFailedStatus = QStringLiteral("Error ! Some parts failed.");

    NVSBackblazeUploadTask(QString taskName, NVSBackblazeConfiguration configuration,
                           std::shared_ptr<platform::http::Client> client, QObject* parent = nullptr);
    ~NVSBackblazeUploadTask() override;

    /// Uploads the file at `path`, which must hold `fileSize` bytes, under its file name.
    /// `completion` runs once, on the main thread, after the final status is applied. A task
    /// uploads once: a second call only gets a failing completion.
    void uploadZippedFileAtPath(const QString& path, qint64 fileSize, Completion completion);
    /// Stops everything in flight and asks the service to drop the parts of the large file, if
    /// one was started. `completion` (on the main thread) tells whether the service agreed; true
    /// when there was no large file to drop.
    void cancelAllUploadTasks(Completion completion = {});

    /// The size below which a remainder joins the last part (the service's minimum part size);
    /// tests lower it to work with small files.
    void setAbsoluteMinimumPartSize(qint64 bytes) { m_absoluteMinimumPartSize = bytes; }
    void setMaximumConcurrentParts(int parts) { m_maximumConcurrentParts = std::max(1, parts); }

    // The upload's state, for the window and tests (main thread).
    const QString& downloadURLString() const { return m_downloadURLString; }
    const QString& apiURLString() const { return m_apiURLString; }
    qint64 recommendedPartSize() const { return m_recommendedPartSize; }
    const QString& encodedFilename() const { return m_encodedFilename; }
    const QString& uploadURLString() const { return m_uploadURLString; }
    const QString& fileID() const { return m_fileID; }
    qint64 fileSize() const { return m_fileSize; }
    bool isLargeUpload() const { return m_isLargeUpload; }
    int totalParts() const { return m_parts.totalParts(); }
    int uploadedParts() const { return m_parts.uploadedParts(); }
    int failedPartsCount() const { return m_parts.failedPartsCount(); }
    qint64 finishedTasksUploadedBytes() const { return m_parts.finishedTasksUploadedBytes(); }

  private:
    using PartPointer = NVSBackblazePartQueue::PartPointer;
    using ResponseHandler = std::function<void(NVSBackblazeUploadTask&, const platform::http::Response&)>;

    /// Starts `request`; `handler` gets its response on the main thread unless the task is gone.
    std::shared_ptr<platform::http::Task> startCall(platform::http::Request request, ResponseHandler handler);
    bool cancellationRequested() const;
    bool isStopping() const;
    void cancelRequestsInFlight();
    /// Decides the outcome once: status, progress bar off, completion.
    void finish(bool success, const QString& statusText, std::optional<platform::Error> error);
    void fail(const std::optional<platform::Error>& error);

    void accountAuthorized(const platform::http::Response& response);

    void uploadURLReceived(const platform::http::Response& response);
    void sendSingleUpload(const QByteArray& data, const QString& SHA1);
    void singleUploadProgressed(qint64 sent, qint64 expected);
    void singleUploadFinished(const platform::http::Response& response);

    void largeFileStarted(const platform::http::Response& response);
    void cutIntoParts();
    void launchPendingParts();
    void requestPartURL(const PartPointer& part);
    void partURLReceived(const PartPointer& part, const platform::http::Response& response);
    void readPart(const PartPointer& part);
    void sendPart(const PartPointer& part);
    void partProgressed(const PartPointer& part, qint64 sent);
    void partAnswered(const PartPointer& part, const platform::http::Response& response);
    void partEnded(const PartPointer& part, bool success, const std::optional<platform::Error>& error);
    void largeFileFinished(const platform::http::Response& response);

    const NVSBackblazeConfiguration m_configuration;
    const std::shared_ptr<platform::http::Client> m_client;
    qint64 m_absoluteMinimumPartSize;
    int m_maximumConcurrentParts = DefaultMaximumConcurrentParts;

    Completion m_completion;
    bool m_started = false;
    bool m_succeeded = false;
    bool m_outcomeDecided = false;
    bool m_cancelRequested = false;
    QString m_path;

    QString m_downloadURLString;
    QString m_apiURLString;
    QString m_authorizationToken;
    qint64 m_recommendedPartSize = 0;
    QString m_encodedFilename;
    QString m_uploadURLString;
    QString m_uploadAuthorizationToken;
    QString m_fileID;
    qint64 m_fileSize = 0;
    bool m_isLargeUpload = false;
    std::shared_ptr<platform::http::Task> m_apiCall;
    std::shared_ptr<platform::http::Task> m_singleUpload;

    NVSBackblazePartQueue m_parts;
    bool m_launchingParts = false;
};

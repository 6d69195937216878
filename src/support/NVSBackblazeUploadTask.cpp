#include "support/NVSBackblazeUploadTask.h"

#include "platform/ConsoleLog.h"
#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "support/NVSBackblazeAPI.h"
#include "support/NVSBackblazePartLayout.h"
#include "support/NVSBackblazeUploadPart.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <algorithm>

using platform::ConsoleLog;
using platform::Error;
using platform::MainQueue;
using platform::http::Request;
using platform::http::Response;

namespace {

Error cancelledError() {
    return Error::make(NVSBackblazeAPI::ErrorDomain, NVSBackblazeAPI::Cancelled,
                       QObject::tr("The upload was cancelled."));
}

Error unreadableError(const QString& path) {
    return Error::make(NVSBackblazeAPI::ErrorDomain, NVSBackblazeAPI::FileUnreadable,
                       QObject::tr("The support archive %1 cannot be read, or its size changed.").arg(path));
}

// What a failed part upload says on the console.
QString failureText(const Response& response, const std::optional<Error>& error) {
    if (!error)
        return QObject::tr("The storage service answered with HTTP status %1.").arg(response.statusCode);
    const QString message = error->userInfo.value(QStringLiteral("message")).toString();
    return message.isEmpty() ? error->localizedDescription() : error->localizedDescription() + u' ' + message;
}

} // namespace

NVSBackblazeUploadTask::NVSBackblazeUploadTask(QString taskName, NVSBackblazeConfiguration configuration,
                                               std::shared_ptr<platform::http::Client> client,
                                               QObject* parent)
    : NVSBaseTask(std::move(taskName), parent), m_configuration(std::move(configuration)),
      m_client(std::move(client)),
      m_absoluteMinimumPartSize(NVSBackblazePartLayout::DefaultAbsoluteMinimumPartSize) {
    // A request waiting for its answer moves no bytes, so progress alone would not notice.
    connect(this, &NVSBaseTask::shouldCancelChanged, this, [this] {
        if (shouldCancel()) {
            cancelRequestsInFlight();
            launchPendingParts();
        }
    });
}

NVSBackblazeUploadTask::~NVSBackblazeUploadTask() {
    cancelRequestsInFlight();
}

// ---- Plumbing --------------------------------------------------------------------------------------

std::shared_ptr<platform::http::Task> NVSBackblazeUploadTask::startCall(Request request,
                                                                        ResponseHandler handler) {
    return m_client->start(std::move(request), [guard = QPointer<NVSBackblazeUploadTask>(this),
                                                handler = std::move(handler)](Response response) {
        MainQueue::dispatchAsync([guard, handler, response = std::move(response)] {
            if (guard)
                handler(*guard, response);
        });
    });
}

bool NVSBackblazeUploadTask::cancellationRequested() const {
    return shouldCancel() || m_cancelRequested;
}

bool NVSBackblazeUploadTask::isStopping() const {
    return cancellationRequested() || m_outcomeDecided;
}

void NVSBackblazeUploadTask::cancelRequestsInFlight() {
    if (m_apiCall)
        m_apiCall->cancel();
    if (m_singleUpload)
        m_singleUpload->cancel();
    m_parts.forEach([](const PartPointer& part) {
        if (part->uploadTask())
            part->uploadTask()->cancel();
    });
}

void NVSBackblazeUploadTask::finish(bool success, const QString& statusText, std::optional<Error> error) {
    if (m_outcomeDecided)
        return;
    m_outcomeDecided = true;
    m_succeeded = success;
    setError(error);
    setRequiresProgressAsynchronouslyTo(false);
    setStatusAsynchronouslyTo(success ? Done : Failed, statusText);
    // Posted after the status, so the completion sees it applied.
    if (Completion completion = std::exchange(m_completion, {})) {
        MainQueue::dispatchAsync([completion = std::move(completion), success, error = std::move(error)] {
            completion(success, error);
        });
    }
}

void NVSBackblazeUploadTask::fail(const std::optional<Error>& error) {
    finish(false, cancellationRequested() ? CancelledStatus : ErrorStatus, error);
}

// ---- Start -----------------------------------------------------------------------------------------

void NVSBackblazeUploadTask::uploadZippedFileAtPath(const QString& path, qint64 fileSize,
                                                    Completion completion) {
    if (m_started) {
        if (completion) {
            MainQueue::dispatchAsync([completion = std::move(completion)] {
                completion(false, Error::make(NVSBackblazeAPI::ErrorDomain, NVSBackblazeAPI::AlreadyStarted,
                                              QObject::tr("This upload has already been started.")));
            });
        }
        return;
    }
    m_started = true;
    m_completion = std::move(completion);
    m_path = path;
    m_fileSize = fileSize;
    setStatusAsynchronouslyTo(Busy, UploadingStatus);
    setRequiresProgressAsynchronouslyTo(true);
    setProgressAsynchronouslyTo(0.0);

    if (std::optional<Error> error = m_configuration.configurationError()) {
        // The text names settings only, never their values.
        ConsoleLog::write(
            QStringLiteral("BackBlazeUploadTask: Error: %1").arg(error->localizedDescription()));
        return fail(error);
    }
    const QFileInfo file(path);
    if (!file.isFile() || fileSize < 0 || file.size() != fileSize)
        return fail(unreadableError(path));

    m_apiCall = startCall(
        NVSBackblazeAPI::authorizeAccount(
            m_configuration.authorizationURL(),
            NVSBackblazeAPI::authenticationHeader(m_configuration.keyID(), m_configuration.applicationKey())),
        [](NVSBackblazeUploadTask& task, const Response& response) { task.accountAuthorized(response); });
}

void NVSBackblazeUploadTask::accountAuthorized(const Response& response) {
    m_apiCall.reset();
    std::optional<Error> error;
    const auto authorization = NVSBackblazeAPI::accountAuthorization(response, &error);
    if (!authorization)
        return fail(error);
    if (cancellationRequested())
        return fail(cancelledError());
    m_downloadURLString = authorization->downloadURL;
    m_apiURLString = authorization->apiURL;
    m_authorizationToken = authorization->authorizationToken;
    m_recommendedPartSize = std::min(authorization->recommendedPartSize, MaximumPartSize);

    const QString fileName = QFileInfo(m_path).fileName();
    if (m_fileSize <= m_recommendedPartSize) {
        m_isLargeUpload = false;
        m_encodedFilename = QString::fromLatin1(NVSBackblazeAPI::percentEncodedFileName(fileName));
        m_apiCall = startCall(
            NVSBackblazeAPI::getUploadURL(m_apiURLString, m_authorizationToken, m_configuration.bucketID()),
            [](NVSBackblazeUploadTask& task, const Response& answer) { task.uploadURLReceived(answer); });
    } else {
        // The name travels in JSON here, not in a header.
        m_isLargeUpload = true;
        m_encodedFilename = fileName;
        m_apiCall = startCall(
            NVSBackblazeAPI::startLargeFile(m_apiURLString, m_authorizationToken, m_encodedFilename,
                                            m_configuration.bucketID()),
            [](NVSBackblazeUploadTask& task, const Response& answer) { task.largeFileStarted(answer); });
    }
}

// ---- One request -----------------------------------------------------------------------------------

void NVSBackblazeUploadTask::uploadURLReceived(const Response& response) {
    m_apiCall.reset();
    std::optional<Error> error;
    const auto address = NVSBackblazeAPI::uploadAddress(response, &error);
    if (!address)
        return fail(error);
    if (cancellationRequested())
        return fail(cancelledError());
    m_uploadURLString = address->uploadURL;
    m_uploadAuthorizationToken = address->authorizationToken;

    // At most the part size: the whole file goes into one request body.
    QThreadPool::globalInstance()->start(
        [guard = QPointer<NVSBackblazeUploadTask>(this), path = m_path, size = m_fileSize] {
            const QString SHA1 = NVSBackblazeAPI::SHA1OfFileAtPath(path);
            QByteArray data;
            QFile file(path);
            if (!SHA1.isNull() && file.open(QIODevice::ReadOnly))
                data = file.read(size);
            const bool complete = !SHA1.isNull() && data.size() == size;
            MainQueue::dispatchAsync([guard, path, data = std::move(data), SHA1, complete] {
                if (!guard)
                    return;
                if (complete)
                    guard->sendSingleUpload(data, SHA1);
                else
                    guard->fail(unreadableError(path));
            });
        });
}

void NVSBackblazeUploadTask::sendSingleUpload(const QByteArray& data, const QString& SHA1) {
    if (cancellationRequested())
        return fail(cancelledError());
    Request request = NVSBackblazeAPI::uploadFile(m_uploadURLString, m_uploadAuthorizationToken,
                                                  m_encodedFilename.toLatin1(), data, SHA1);
    request.uploadProgress = [guard = QPointer<NVSBackblazeUploadTask>(this)](qint64 sent, qint64 expected) {
        MainQueue::dispatchAsync([guard, sent, expected] {
            if (guard)
                guard->singleUploadProgressed(sent, expected);
        });
    };
    m_singleUpload =
        startCall(std::move(request), [](NVSBackblazeUploadTask& task, const Response& response) {
            task.singleUploadFinished(response);
        });
}

void NVSBackblazeUploadTask::singleUploadProgressed(qint64 sent, qint64 expected) {
    if (!m_singleUpload || m_outcomeDecided)
        return;
    if (shouldCancel()) {
        m_singleUpload->cancel();
        return;
    }
    if (expected > 0)
        setProgressAsynchronouslyTo(double(sent) / double(expected));
}

void NVSBackblazeUploadTask::singleUploadFinished(const Response& response) {
    m_singleUpload.reset();
    if (!response.isComplete())
        return fail(response.error);
    std::optional<Error> error;
    if (NVSBackblazeAPI::succeeded(response, &error))
        finish(true, DoneStatus, std::nullopt);
    else
        finish(false, ErrorStatus, error);
}

// ---- Large file ------------------------------------------------------------------------------------

void NVSBackblazeUploadTask::largeFileStarted(const Response& response) {
    m_apiCall.reset();
    std::optional<Error> error;
    const std::optional<QString> fileID = NVSBackblazeAPI::fileID(response, &error);
    if (!fileID)
        return fail(error);
    m_fileID = *fileID;
    if (cancellationRequested()) {
        // Nobody else will drop the file the service has just made.
        if (m_cancelRequested)
            m_client->start(NVSBackblazeAPI::cancelLargeFile(m_apiURLString, m_authorizationToken, m_fileID),
                            {});
        return fail(cancelledError());
    }
    cutIntoParts();
    launchPendingParts();
}

void NVSBackblazeUploadTask::cutIntoParts() {
    m_parts.reset(NVSBackblazePartLayout::cut(m_fileSize, m_recommendedPartSize, m_absoluteMinimumPartSize));
}

void NVSBackblazeUploadTask::launchPendingParts() {
    // Ending a part launches the next one; the loop below already does.
    if (m_launchingParts)
        return;
    m_launchingParts = true;
    while (const PartPointer part = m_parts.takeNext(isStopping(), m_maximumConcurrentParts)) {
        if (isStopping())
            partEnded(part, false, cancellationRequested() ? std::optional(cancelledError()) : std::nullopt);
        else
            requestPartURL(part);
    }
    m_launchingParts = false;
}

void NVSBackblazeUploadTask::requestPartURL(const PartPointer& part) {
    part->setUploadTask(
        startCall(NVSBackblazeAPI::getUploadPartURL(m_apiURLString, m_authorizationToken, m_fileID),
                  [part](NVSBackblazeUploadTask& task, const Response& response) {
                      task.partURLReceived(part, response);
                  }));
}

void NVSBackblazeUploadTask::partURLReceived(const PartPointer& part, const Response& response) {
    part->setUploadTask(nullptr);
    if (isStopping())
        return partEnded(part, false, response.error);
    std::optional<Error> error;
    const auto address = NVSBackblazeAPI::uploadAddress(response, &error);
    if (!address) {
        fail(error);
        cancelRequestsInFlight();
        return partEnded(part, false, error);
    }
    part->setUploadURLString(address->uploadURL);
    part->setUploadAuthorizationToken(address->authorizationToken);
    readPart(part);
}

void NVSBackblazeUploadTask::readPart(const PartPointer& part) {
    // The reading thread owns the part's bytes until it hands the part back.
    QThreadPool::globalInstance()->start(
        [guard = QPointer<NVSBackblazeUploadTask>(this), part, path = m_path] {
            const NVSByteRange range = part->bytesRange();
            QFile file(path);
            QByteArray data;
            if (file.open(QIODevice::ReadOnly) && file.seek(range.offset))
                data = file.read(range.length);
            const bool complete = data.size() == range.length;
            if (complete)
                part->setPartData(std::move(data));
            MainQueue::dispatchAsync([guard, part, path, complete] {
                if (!guard)
                    return;
                if (complete)
                    guard->sendPart(part);
                else
                    guard->partEnded(part, false, unreadableError(path));
            });
        });
}

void NVSBackblazeUploadTask::sendPart(const PartPointer& part) {
    if (isStopping())
        return partEnded(part, false,
                         cancellationRequested() ? std::optional(cancelledError()) : std::nullopt);
    Request request =
        NVSBackblazeAPI::uploadPart(part->uploadURLString(), part->uploadAuthorizationToken(),
                                    part->partNumber() + 1, part->partData(), part->SHA1String());
    request.uploadProgress = [guard = QPointer<NVSBackblazeUploadTask>(this), part](qint64 sent, qint64) {
        MainQueue::dispatchAsync([guard, part, sent] {
            if (guard)
                guard->partProgressed(part, sent);
        });
    };
    part->setUploadTask(
        startCall(std::move(request), [part](NVSBackblazeUploadTask& task, const Response& response) {
            task.partAnswered(part, response);
        }));
}

void NVSBackblazeUploadTask::partProgressed(const PartPointer& part, qint64 sent) {
    // Late reports of an attempt that has already ended change nothing.
    if (!part->uploadTask())
        return;
    if (shouldCancel()) {
        cancelRequestsInFlight();
        return;
    }
    setProgressAsynchronouslyTo(double(m_parts.recordProgress(part, sent)) / double(m_fileSize));
}

void NVSBackblazeUploadTask::partAnswered(const PartPointer& part, const Response& response) {
    part->setUploadTask(nullptr);
    if (response.isComplete() && response.statusCode == 200)
        return partEnded(part, true, std::nullopt);
    const std::optional<Error> error = NVSBackblazeAPI::errorForResponse(response);
    if (isStopping())
        return partEnded(part, false, error);
    if (part->retryCount() >= MaximumRetries) {
        ConsoleLog::write(QStringLiteral("BackBlazeUploadTask: Error: %1").arg(failureText(response, error)));
        return partEnded(part, false, error);
    }
    part->incrementRetryCount();
    const QString line =
        response.isComplete()
            ? QStringLiteral("BackBlazeUploadTask: Error: Retrying upload for part %1, attempt %2")
            : QStringLiteral("BackBlazeUploadTask: Error: Retrying upload for part %1 due to network "
                             "error, attempt %2");
    ConsoleLog::write(line.arg(part->partNumber() + 1).arg(part->retryCount()));
    MainQueue::dispatchAfter(RetryDelay, [guard = QPointer<NVSBackblazeUploadTask>(this), part] {
        if (guard)
            guard->sendPart(part);
    });
}

void NVSBackblazeUploadTask::partEnded(const PartPointer& part, bool success,
                                       const std::optional<Error>& error) {
    part->setDone(success);
    part->releasePartData();
    part->setUploadTask(nullptr);
    const NVSBackblazePartQueue::Ending ending = m_parts.recordEnd(part, success, error);
    if (!ending.allEnded)
        return launchPendingParts();

    setRequiresProgressAsynchronouslyTo(false);
    if (m_outcomeDecided)
        return;
    if (cancellationRequested())
        return finish(false, CancelledStatus,
                      ending.anyFailed ? m_parts.firstPartError() : std::optional(cancelledError()));
    if (ending.anyFailed)
        return finish(false, PartsFailedStatus, m_parts.firstPartError());
    m_apiCall = startCall(
        NVSBackblazeAPI::finishLargeFile(m_apiURLString, m_authorizationToken, m_fileID, ending.partSHA1s),
        [](NVSBackblazeUploadTask& task, const Response& response) { task.largeFileFinished(response); });
}

void NVSBackblazeUploadTask::largeFileFinished(const Response& response) {
    m_apiCall.reset();
    std::optional<Error> error;
    if (NVSBackblazeAPI::jsonAnswer(response, &error))
        finish(true, DoneStatus, std::nullopt);
    else
        fail(error);
}

// ---- Cancel ----------------------------------------------------------------------------------------

void NVSBackblazeUploadTask::cancelAllUploadTasks(Completion completion) {
    m_cancelRequested = true;
    cancelRequestsInFlight();
    launchPendingParts();
    if (!m_isLargeUpload || m_fileID.isEmpty() || m_succeeded) {
        if (completion)
            MainQueue::dispatchAsync(
                [completion = std::move(completion)] { completion(true, std::nullopt); });
        return;
    }
    m_client->start(NVSBackblazeAPI::cancelLargeFile(m_apiURLString, m_authorizationToken, m_fileID),
                    [completion = std::move(completion)](Response response) {
                        MainQueue::dispatchAsync([completion, response = std::move(response)] {
                            std::optional<Error> error;
                            const bool cancelled = NVSBackblazeAPI::jsonAnswer(response, &error).has_value();
                            if (completion)
                                completion(cancelled, error);
                        });
                    });
}

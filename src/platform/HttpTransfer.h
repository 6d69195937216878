#pragma once

#include "platform/HttpCancellationToken.h"
#include "platform/HttpRequest.h"
#include "platform/HttpResponse.h"

#include <QList>
#include <chrono>
#include <curl/curl.h>
#include <memory>
#include <optional>
#include <thread>

namespace platform::http {

/// One transfer's easy handle and the state it shares with libcurl's callbacks. Used by one
/// thread at a time: the thread that calls `runBlocking`, or the transfer loop's thread.
/// Not part of the client's interface.
class Transfer {
  public:
    /// Upper bound on how long a transfer's driver sleeps between looks at the cancellation
    /// flags and the idle clock; it sets how promptly cancellation and the request time-out act.
    static constexpr int PollIntervalMs = 20;

    Transfer(Request request, CancellationToken cancellation, CancellationToken shutdown);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    /// Validates the request and sets up the easy handle. On failure returns the finished
    /// response (an error) and the transfer must not be run.
    std::optional<Response> prepare();
    CURL* easy() const { return easy_; }

    /// Whether to stop now (cancelled, or no byte moved for the request time-out); records why.
    bool shouldAbort();
    /// The same, with the time already read (a pass over many transfers reads the clock once).
    bool shouldAbort(std::chrono::steady_clock::time_point now);
    /// Whether the caller or the client's shutdown asked to stop (no time-out check).
    bool isCancelled();
    /// The response for libcurl's result code.
    Response finish(CURLcode code);

    /// Prepares and drives the transfer to its end on the calling thread.
    Response runBlocking();

  private:
    using Clock = std::chrono::steady_clock;

    static size_t onWrite(char* data, size_t size, size_t count, void* self);
    static size_t onHeader(char* data, size_t size, size_t count, void* self);
    void reserveBody(qint64 limit);
    void chooseBodyTaker(qint64 limit);
    /// The final response's headers so far (those of interim and redirect responses are dropped).
    HeaderList receivedHeaders() const;
    static int onProgress(void* self, curl_off_t downloadTotal, curl_off_t downloaded, curl_off_t uploadTotal,
                          curl_off_t uploaded);

    std::optional<Error> validate() const;
    bool configure();
    void reportUpload(qint64 sent, qint64 total);

    Request request_;
    CancellationToken cancellation_;
    CancellationToken shutdown_;

    CURL* easy_ = nullptr;
    std::thread::id easyThread_; // where easy_ came from: it goes back to that thread's pool
    QByteArray urlBytes_;
    QByteArray userBytes_;
    QByteArray passwordBytes_;
    QByteArray bearerBytes_;
    QByteArray userAgentBytes_;
    curl_slist* headerList_ = nullptr;
    char errorBuffer_[CURL_ERROR_SIZE] = {};

    QList<QPair<QByteArray, QByteArray>> headerFields_;
    QByteArray body_;
    qint64 received_ = 0;
    enum class BodyTaker { Undecided, Consumer, Response } bodyTaker_ = BodyTaker::Undecided;

    Clock::time_point lastMovement_ = Clock::now();
    curl_off_t lastDownloaded_ = -1;
    curl_off_t lastUploaded_ = -1;
    qint64 reportedSent_ = -1;
    qint64 reportedTotal_ = -1;

    bool cancelled_ = false;
    bool idleTimedOut_ = false;
    bool tooLarge_ = false;
};

} // namespace platform::http

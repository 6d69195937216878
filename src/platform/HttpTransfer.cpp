#include "platform/HttpTransfer.h"

#include "platform/BundleInfo.h"
#include "platform/CurlLibrary.h"
#include "platform/HttpClient.h"
#include "platform/HttpEasyHandlePool.h"
#include "platform/HttpMultiRun.h"

#include <algorithm>
#include <sys/mman.h>
#include <thread>
#include <vector>

namespace platform::http {

namespace {

constexpr long MaximumRedirects = 16;

// Spare room after a body's bytes: parsers that read in wide steps (simdjson) may read that far
// past the end, and parse in place only when the room is there.
constexpr qsizetype BodyPadding = 64;

// A large body is written once, front to back: huge pages make that a few page faults instead of
// one per 4 KiB, each of which costs microseconds on a virtual machine.
void adviseHugePages(char* data, std::size_t size) {
    constexpr std::uintptr_t HugePage = 2 * 1024 * 1024;
    const std::uintptr_t begin = (std::uintptr_t(data) + HugePage - 1) & ~(HugePage - 1);
    const std::uintptr_t end = (std::uintptr_t(data) + size) & ~(HugePage - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

const QString& TimeoutKindKey = Client::TimeoutKindKey;
const QString& TimeoutKindRequest = Client::TimeoutKindRequest;
const QString& TimeoutKindResource = Client::TimeoutKindResource;

QString secondsText(double seconds) {
    return QString::number(seconds, 'g', 6);
}

Error curlError(CURLcode code, const QString& description, QVariantMap extra = {}) {
    extra.insert(Error::LocalizedDescriptionKey, description);
    return Error(Error::CurlDomain, int(code), std::move(extra));
}

bool hasLineBreak(const QByteArray& bytes) {
    return bytes.contains('\r') || bytes.contains('\n');
}

Error setupError() {
    return curlError(CURLE_FAILED_INIT, QStringLiteral("The HTTP transfer could not be set up."));
}

} // namespace

Transfer::Transfer(Request request, CancellationToken cancellation, CancellationToken shutdown)
    : request_(std::move(request)), cancellation_(std::move(cancellation)), shutdown_(std::move(shutdown)) {}

Transfer::~Transfer() {
    if (easy_ && easyThread_ == std::this_thread::get_id())
        HttpEasyHandlePool::ofThisThread().give(easy_);
    else if (easy_)
        CurlLibrary::get().easyCleanup(easy_);
    if (headerList_)
        CurlLibrary::get().slistFreeAll(headerList_);
}

std::optional<Response> Transfer::prepare() {
    if (auto invalid = validate()) {
        Response response;
        response.url = request_.url;
        response.error = std::move(invalid);
        return response;
    }
    if (shouldAbort())
        return finish(CURLE_ABORTED_BY_CALLBACK);
    easy_ = HttpEasyHandlePool::ofThisThread().take();
    easyThread_ = std::this_thread::get_id();
    if (!easy_ || !configure()) {
        Response response;
        response.url = request_.url;
        response.error = setupError();
        return response;
    }
    lastMovement_ = Clock::now();
    return std::nullopt;
}

std::optional<Error> Transfer::validate() const {
    if (!request_.url.isValid() || request_.url.isRelative())
        return curlError(CURLE_URL_MALFORMAT, QStringLiteral("The URL is not a valid absolute URL."));
    if (request_.method.isEmpty() || request_.method.contains(' ') || hasLineBreak(request_.method))
        return curlError(CURLE_BAD_FUNCTION_ARGUMENT, QStringLiteral("The HTTP method is not valid."));
    for (const HeaderList* list : {&request_.headers, &request_.secretHeaders}) {
        for (const auto& [name, value] : *list) {
            if (name.isEmpty() || name.contains(':') || hasLineBreak(name) || hasLineBreak(value)) {
                return curlError(
                    CURLE_BAD_FUNCTION_ARGUMENT,
                    QStringLiteral("The request header “%1” is not valid.").arg(QString::fromUtf8(name)));
            }
        }
    }
    if (request_.bearerToken && (request_.credentials || hasLineBreak(request_.bearerToken->toUtf8())))
        return curlError(CURLE_BAD_FUNCTION_ARGUMENT, QStringLiteral("The bearer token is not valid."));
    return std::nullopt;
}

bool Transfer::configure() {
    CURL* easy = easy_;
    bool ok = true;
    const auto set = [&](CURLoption option, auto value) {
        ok = ok && CurlLibrary::get().easySetopt(easy, option, value) == CURLE_OK;
    };

    urlBytes_ = request_.url.toEncoded();
    set(CURLOPT_URL, urlBytes_.constData());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_ERRORBUFFER, errorBuffer_);
    set(CURLOPT_NOSIGNAL, 1L);
    // Ephemeral session: a new connection for every request, closed when it ends.
    if (!request_.reusesConnection) {
        set(CURLOPT_FRESH_CONNECT, 1L);
        set(CURLOPT_FORBID_REUSE, 1L);
    }
    // curl keeps its own Authorization (credentials, bearer token) from other hosts after a
    // redirect (CURLOPT_UNRESTRICTED_AUTH stays off), but resends every custom header.
    set(CURLOPT_FOLLOWLOCATION, request_.secretHeaders.isEmpty() ? 1L : 0L);
    set(CURLOPT_MAXREDIRS, MaximumRedirects);
    set(CURLOPT_ACCEPT_ENCODING, "");

    set(CURLOPT_WRITEFUNCTION, &Transfer::onWrite);
    set(CURLOPT_WRITEDATA, static_cast<void*>(this));
    set(CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    set(CURLOPT_HEADERDATA, static_cast<void*>(this));
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
    set(CURLOPT_XFERINFODATA, static_cast<void*>(this));

    if (request_.resourceTimeout > 0)
        set(CURLOPT_TIMEOUT_MS, std::max(1L, long(request_.resourceTimeout * 1000.0)));
    if (request_.maximumResponseSize > 0)
        set(CURLOPT_MAXFILESIZE_LARGE, curl_off_t(request_.maximumResponseSize));

    // A header of the caller's own replaces this default.
    const QString product = BundleInfo::bundleName();
    if (!product.isEmpty()) {
        userAgentBytes_ = QString(product % u'/' % BundleInfo::shortVersionString()).toUtf8();
        set(CURLOPT_USERAGENT, userAgentBytes_.constData());
    }

    const QByteArray& method = request_.method;
    bool sendsBody = false;
    if (method == "HEAD") {
        set(CURLOPT_NOBODY, 1L);
    } else if (method == "GET" && request_.body.isEmpty()) {
        set(CURLOPT_HTTPGET, 1L);
    } else {
        sendsBody = !request_.body.isEmpty() || method == "POST" || method == "PUT" || method == "PATCH";
        if (sendsBody) {
            // POSTFIELDS rewinds by itself when an authentication handshake resends the body.
            set(CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request_.body.size()));
            set(CURLOPT_POSTFIELDS, request_.body.constData());
        }
        // POST stays curl's own so that a 303 redirect turns it into a GET.
        if (method != "POST")
            set(CURLOPT_CUSTOMREQUEST, method.constData());
    }

    if (request_.credentials) {
        userBytes_ = request_.credentials->user.toUtf8();
        passwordBytes_ = request_.credentials->password.toUtf8();
        set(CURLOPT_USERNAME, userBytes_.constData());
        set(CURLOPT_PASSWORD, passwordBytes_.constData());
        // A single scheme is sent at once; a choice waits for the server's challenge.
        const bool atOnce = request_.credentials->offer == Request::Credentials::Offer::BasicAtOnce;
        set(CURLOPT_HTTPAUTH, atOnce ? long(CURLAUTH_BASIC) : long(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    } else if (request_.bearerToken) {
        bearerBytes_ = request_.bearerToken->toUtf8();
        set(CURLOPT_XOAUTH2_BEARER, bearerBytes_.constData());
        set(CURLOPT_HTTPAUTH, long(CURLAUTH_BEARER));
    }

    curl_slist* list = nullptr;
    const auto add = [&](const QByteArray& line) {
        curl_slist* extended = CurlLibrary::get().slistAppend(list, line.constData());
        if (!extended) {
            ok = false;
            return;
        }
        list = extended;
    };
    for (const HeaderList* fields : {&request_.headers, &request_.secretHeaders}) {
        for (const auto& [name, value] : *fields) {
            // "Name:" would remove the header; "Name;" is curl's spelling of an empty value.
            add(value.trimmed().isEmpty() ? QByteArray(name + ';') : QByteArray(name + ": " + value));
        }
    }
    // Without this curl would label every body as a form.
    if (sendsBody && !request_.headers.contains("Content-Type"))
        add(QByteArrayLiteral("Content-Type:"));
    headerList_ = list;
    if (list)
        set(CURLOPT_HTTPHEADER, list);
    return ok;
}

bool Transfer::shouldAbort() {
    return shouldAbort(Clock::now());
}

bool Transfer::isCancelled() {
    if (cancellation_.isCancelled() || shutdown_.isCancelled())
        cancelled_ = true;
    return cancelled_;
}

bool Transfer::shouldAbort(Clock::time_point now) {
    if (isCancelled())
        return true;
    if (request_.requestTimeout > 0) {
        const std::chrono::duration<double> idle = now - lastMovement_;
        if (idle.count() >= request_.requestTimeout) {
            idleTimedOut_ = true;
            return true;
        }
    }
    return false;
}

void Transfer::reportUpload(qint64 sent, qint64 total) {
    if (!request_.uploadProgress || (sent == reportedSent_ && total == reportedTotal_))
        return;
    reportedSent_ = sent;
    reportedTotal_ = total;
    request_.uploadProgress(sent, total);
}

void Transfer::reserveBody(qint64 limit) {
    // The announced length at once: growing by doubling would leave up to as much again unused
    // at the peak. A length beyond the limit (or absurd without one) is not trusted.
    curl_off_t length = -1;
    if (CurlLibrary::get().easyGetinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK ||
        length <= 0)
        return;
    const qint64 ceiling = limit > 0 ? limit : qint64(512) * 1024 * 1024;
    if (qint64(length) > ceiling)
        return;
    body_.reserve(qsizetype(length) + BodyPadding);
    adviseHugePages(body_.data(), std::size_t(body_.capacity()));
}

size_t Transfer::onWrite(char* data, size_t size, size_t count, void* self) {
    auto& transfer = *static_cast<Transfer*>(self);
    const size_t bytes = size * count;
    transfer.lastMovement_ = Clock::now();
    const qint64 limit = transfer.request_.maximumResponseSize;
    if (limit > 0 && transfer.received_ + qint64(bytes) > limit) {
        transfer.tooLarge_ = true;
        return 0; // not all bytes taken: curl ends with CURLE_WRITE_ERROR
    }
    transfer.received_ += qint64(bytes);
    if (transfer.bodyTaker_ == BodyTaker::Undecided)
        transfer.chooseBodyTaker(limit);
    if (transfer.bodyTaker_ == BodyTaker::Consumer)
        transfer.request_.bodyConsumer->consume(QByteArrayView(data, qsizetype(bytes)));
    else
        transfer.body_.append(data, qsizetype(bytes));
    return bytes;
}

void Transfer::chooseBodyTaker(qint64 limit) {
    if (request_.bodyConsumer || request_.bodyStarting) {
        long status = 0;
        CurlLibrary::get().easyGetinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
        const HeaderList headers = receivedHeaders();
        if (request_.bodyStarting)
            request_.bodyStarting(int(status), headers);
        if (request_.bodyConsumer && request_.bodyConsumer->accepts(int(status), headers)) {
            bodyTaker_ = BodyTaker::Consumer;
            return;
        }
    }
    bodyTaker_ = BodyTaker::Response;
    reserveBody(limit);
}

HeaderList Transfer::receivedHeaders() const {
    HeaderList headers;
    for (const auto& [name, value] : headerFields_)
        headers.append(name, value);
    return headers;
}

size_t Transfer::onHeader(char* data, size_t size, size_t count, void* self) {
    auto& transfer = *static_cast<Transfer*>(self);
    const size_t bytes = size * count;
    transfer.lastMovement_ = Clock::now();
    const QByteArrayView line(data, qsizetype(bytes));
    if (line.startsWith("HTTP/")) {
        // A new status line: the headers of an interim, redirect or challenge response end here.
        transfer.headerFields_.clear();
        return bytes;
    }
    const QByteArrayView content = line.trimmed();
    if (content.isEmpty())
        return bytes;
    if ((line.front() == ' ' || line.front() == '\t') && !transfer.headerFields_.isEmpty()) {
        QByteArray& value = transfer.headerFields_.last().second;
        value += ' ';
        value += content;
        return bytes;
    }
    const qsizetype colon = content.indexOf(':');
    if (colon > 0) {
        transfer.headerFields_.append({content.first(colon).trimmed().toByteArray(),
                                       content.sliced(colon + 1).trimmed().toByteArray()});
    }
    return bytes;
}

int Transfer::onProgress(void* self, curl_off_t /*downloadTotal*/, curl_off_t downloaded,
                         curl_off_t uploadTotal, curl_off_t uploaded) {
    auto& transfer = *static_cast<Transfer*>(self);
    if (downloaded != transfer.lastDownloaded_ || uploaded != transfer.lastUploaded_) {
        if (transfer.lastDownloaded_ >= 0)
            transfer.lastMovement_ = Clock::now();
        transfer.lastDownloaded_ = downloaded;
        transfer.lastUploaded_ = uploaded;
    }
    if (!transfer.request_.body.isEmpty() && uploadTotal > 0)
        transfer.reportUpload(qint64(uploaded), qint64(uploadTotal));
    // curl calls this for every transfer on every pass of a multi handle: only the cancellation
    // here; time-outs are checked once per pass by whoever drives the transfer.
    return transfer.isCancelled() ? 1 : 0;
}

Response Transfer::runBlocking() {
    if (auto failed = prepare())
        return std::move(*failed);
    HttpMultiRun run(easy_);
    if (!run.isReady()) {
        Response response;
        response.url = request_.url;
        response.error = setupError();
        return response;
    }

    CURLcode code = CURLE_OK;
    for (;;) {
        int running = 0;
        CURLMcode status = CurlLibrary::get().multiPerform(run.multi(), &running);
        if (status != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            qstrncpy(errorBuffer_, CurlLibrary::get().multiStrerror(status), sizeof errorBuffer_);
            break;
        }
        if (running == 0) {
            int queued = 0;
            CURLMsg* message = CurlLibrary::get().multiInfoRead(run.multi(), &queued);
            code = message && message->msg == CURLMSG_DONE ? message->data.result : CURLE_FAILED_INIT;
            break;
        }
        // Checked here as well as in the progress callback, which curl may skip while resolving.
        if (shouldAbort()) {
            code = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        status = CurlLibrary::get().multiPoll(run.multi(), nullptr, 0, PollIntervalMs, nullptr);
        if (status != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            qstrncpy(errorBuffer_, CurlLibrary::get().multiStrerror(status), sizeof errorBuffer_);
            break;
        }
    }
    return finish(code);
}

Response Transfer::finish(CURLcode code) {
    CURL* easy = easy_;
    Response response;
    response.url = request_.url;
    if (easy) {
        char* effective = nullptr;
        if (CurlLibrary::get().easyGetinfo(easy, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
            response.url = QUrl::fromEncoded(QByteArray(effective));
    }

    if (cancelled_) {
        response.error = curlError(CURLE_ABORTED_BY_CALLBACK, QStringLiteral("cancelled"));
        return response;
    }
    if (idleTimedOut_) {
        response.error = curlError(
            CURLE_OPERATION_TIMEDOUT, QStringLiteral("The request timed out."),
            {{TimeoutKindKey, TimeoutKindRequest},
             {Error::LocalizedFailureReasonKey,
              QStringLiteral("No data moved for %1 s.").arg(secondsText(request_.requestTimeout))}});
        return response;
    }
    if (tooLarge_ || code == CURLE_FILESIZE_EXCEEDED) {
        response.error = curlError(CURLE_FILESIZE_EXCEEDED,
                                   QStringLiteral("The response is larger than the limit of %1 bytes.")
                                       .arg(request_.maximumResponseSize));
        return response;
    }
    if (code == CURLE_OPERATION_TIMEDOUT) {
        QVariantMap info{{Error::LocalizedFailureReasonKey, QString::fromUtf8(errorBuffer_)}};
        QString description = QStringLiteral("The request timed out.");
        if (request_.resourceTimeout > 0) {
            info.insert(TimeoutKindKey, TimeoutKindResource);
            info.insert(Error::LocalizedFailureReasonKey,
                        QStringLiteral("The transfer took longer than %1 s.")
                            .arg(secondsText(request_.resourceTimeout)));
            description = QStringLiteral("The resource timed out.");
        }
        response.error = curlError(code, description, std::move(info));
        return response;
    }
    if (code != CURLE_OK) {
        const QString text = errorBuffer_[0] ? QString::fromUtf8(errorBuffer_)
                                             : QString::fromUtf8(CurlLibrary::get().easyStrerror(code));
        response.error = curlError(code, text);
        return response;
    }

    long status = 0;
    CurlLibrary::get().easyGetinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    response.statusCode = int(status);
    response.headers = receivedHeaders();
    response.body = std::move(body_);
    response.bodyConsumed = bodyTaker_ == BodyTaker::Consumer;
    if (const auto contentType = response.headers.value("Content-Type")) {
        const qsizetype semicolon = contentType->indexOf(';');
        const QByteArray type = semicolon < 0 ? *contentType : contentType->first(semicolon);
        response.mimeType = QString::fromLatin1(type.trimmed()).toLower();
    }
    // The last progress call may precede the final bytes leaving.
    if (!request_.body.isEmpty()) {
        curl_off_t sent = 0;
        if (CurlLibrary::get().easyGetinfo(easy, CURLINFO_SIZE_UPLOAD_T, &sent) == CURLE_OK && sent > 0)
            reportUpload(qint64(sent), qint64(request_.body.size()));
    }
    return response;
}

} // namespace platform::http

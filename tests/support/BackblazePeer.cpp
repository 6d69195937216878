#include "BackblazePeer.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

using Reply = testing_support::LoopbackHttpServer::Reply;

Reply json(const QJsonObject& object, int status = 200) {
    return Reply::text(QJsonDocument(object).toJson(QJsonDocument::Compact), "application/json", status);
}

// The service's error answer.
Reply serviceError(int status, const char* code) {
    return json(
        {{u"status"_s, status}, {u"code"_s, QLatin1String(code)}, {u"message"_s, QLatin1String(code)}},
        status);
}

QJsonObject body(const testing_support::LoopbackHttpServer::Request& request) {
    return QJsonDocument::fromJson(request.body).object();
}

} // namespace

QString BackblazePeer::sha1(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

BackblazePeer::BackblazePeer(QString keyID, QString applicationKey, QString bucketID,
                             qint64 recommendedPartSize)
    : m_keyID(std::move(keyID)), m_applicationKey(std::move(applicationKey)), m_bucketID(std::move(bucketID)),
      m_recommendedPartSize(recommendedPartSize) {
    // A call that needs a token is refused without it before its handler runs.
    const auto on = [this](const char* method, const char* path,
                           Reply (BackblazePeer::*handler)(const Request&),
                           const QString& token = QString()) {
        m_server.route(method, path, [this, handler, token](const Request& request) {
            return token.isNull() || hasToken(request, token) ? (this->*handler)(request)
                                                              : serviceError(401, "bad_auth_token");
        });
    };
    on("GET", "/b2api/v2/b2_authorize_account", &BackblazePeer::authorize);
    on("POST", "/b2api/v2/b2_get_upload_url", &BackblazePeer::uploadURL, AccountToken);
    on("POST", "/upload/file", &BackblazePeer::uploadFile, FileToken);
    on("POST", "/b2api/v2/b2_start_large_file", &BackblazePeer::startLargeFile, AccountToken);
    on("POST", "/b2api/v2/b2_get_upload_part_url", &BackblazePeer::uploadPartURL, AccountToken);
    on("POST", "/upload/part", &BackblazePeer::uploadPart); // each address has a token of its own
    on("POST", "/b2api/v2/b2_finish_large_file", &BackblazePeer::finishLargeFile, AccountToken);
    on("POST", "/b2api/v2/b2_cancel_large_file", &BackblazePeer::cancelLargeFile, AccountToken);
}

void BackblazePeer::failPart(int partNumber, int times) {
    std::lock_guard lock(m_mutex);
    m_failuresLeft[partNumber] = times;
}

void BackblazePeer::delayPart(int partNumber, std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    m_partDelays[partNumber] = delay;
}

void BackblazePeer::hangParts() {
    std::lock_guard lock(m_mutex);
    m_hangParts = true;
}

void BackblazePeer::delayFileUpload(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    m_fileDelay = delay;
}

int BackblazePeer::requestCount(const QByteArray& path) const {
    const auto requests = m_server.requests();
    return int(std::count_if(requests.cbegin(), requests.cend(),
                             [&](const Request& request) { return request.path == path; }));
}

void BackblazePeer::problem(const QString& text) {
    std::lock_guard lock(m_mutex);
    m_record.problems.append(text);
}

bool BackblazePeer::hasToken(const Request& request, const QString& token) {
    if (request.header("Authorization") == token.toUtf8())
        return true;
    problem(u"%1 without its token"_s.arg(QString::fromLatin1(request.path)));
    return false;
}

BackblazePeer::Reply BackblazePeer::authorize(const Request& request) {
    const QByteArray expected = "Basic " + QString(m_keyID + u':' + m_applicationKey).toUtf8().toBase64();
    if (request.header("Authorization") != expected)
        return serviceError(401, "unauthorized");
    return json({{u"accountId"_s, u"account"_s},
                 {u"apiUrl"_s, m_server.url(QString()).toString()},
                 {u"downloadUrl"_s, m_server.url(u"/download"_s).toString()},
                 {u"authorizationToken"_s, AccountToken},
                 {u"recommendedPartSize"_s, m_recommendedPartSize},
                 {u"absoluteMinimumPartSize"_s, 5'000'000}});
}

BackblazePeer::Reply BackblazePeer::uploadURL(const Request& request) {
    if (body(request).value(u"bucketId"_s).toString() != m_bucketID)
        return serviceError(400, "bad_bucket_id");
    return json(
        {{u"uploadUrl"_s, m_server.url(u"/upload/file"_s).toString()}, {u"authorizationToken"_s, FileToken}});
}

BackblazePeer::Reply BackblazePeer::uploadFile(const Request& request) {
    if (request.header("X-Bz-Content-Sha1") != sha1(request.body).toLatin1()) {
        problem(u"upload with a wrong SHA-1"_s);
        return serviceError(400, "bad_request");
    }
    std::lock_guard lock(m_mutex);
    m_record.fileUploads.append({request.header("X-Bz-File-Name").value_or(QByteArray()), request.body});
    Reply reply = json({{u"fileId"_s, u"4_small_file"_s}, {u"contentLength"_s, request.body.size()}});
    reply.delay = m_fileDelay;
    return reply;
}

BackblazePeer::Reply BackblazePeer::startLargeFile(const Request& request) {
    const QJsonObject call = body(request);
    if (call.value(u"bucketId"_s).toString() != m_bucketID ||
        call.value(u"fileName"_s).toString().isEmpty() ||
        call.value(u"contentType"_s).toString() != QLatin1String("b2/x-auto"))
        return serviceError(400, "bad_request");
    return json({{u"fileId"_s, LargeFileID}, {u"fileName"_s, call.value(u"fileName"_s)}});
}

BackblazePeer::Reply BackblazePeer::uploadPartURL(const Request& request) {
    if (body(request).value(u"fileId"_s).toString() != LargeFileID)
        return serviceError(400, "bad_file_id");
    std::lock_guard lock(m_mutex);
    const QString slot = QString::number(++m_partAddresses);
    return json({{u"uploadUrl"_s, m_server.url(u"/upload/part?slot="_s + slot).toString()},
                 {u"authorizationToken"_s, QString(u"part-token-"_s + slot)}});
}

BackblazePeer::Reply BackblazePeer::uploadPart(const Request& request) {
    const QString slot = QUrlQuery(QString::fromLatin1(request.query)).queryItemValue(u"slot"_s);
    if (!hasToken(request, u"part-token-"_s + slot))
        return serviceError(401, "bad_auth_token");
    if (request.header("X-Bz-Content-Sha1") != sha1(request.body).toLatin1()) {
        problem(u"part with a wrong SHA-1"_s);
        return serviceError(400, "bad_request");
    }
    const int partNumber = request.header("X-Bz-Part-Number").value_or(QByteArray()).toInt();
    std::lock_guard lock(m_mutex);
    m_record.partAttempts.append(partNumber);
    if (m_hangParts)
        return Reply::hang();
    if (int& failures = m_failuresLeft[partNumber]; failures > 0) {
        --failures;
        return serviceError(503, "service_unavailable");
    }
    m_record.storedParts.insert(partNumber, request.body);
    Reply reply = json({{u"fileId"_s, LargeFileID}, {u"partNumber"_s, partNumber}});
    reply.delay = m_partDelays.value(partNumber);
    return reply;
}

BackblazePeer::Reply BackblazePeer::finishLargeFile(const Request& request) {
    const QJsonObject call = body(request);
    QStringList digests;
    for (const QJsonValue& digest : call.value(u"partSha1Array"_s).toArray())
        digests.append(digest.toString());
    std::lock_guard lock(m_mutex);
    m_record.finishCalls.append(digests);
    QStringList expected; // QMap iterates in ascending part number
    for (const QByteArray& part : std::as_const(m_record.storedParts))
        expected.append(sha1(part));
    if (call.value(u"fileId"_s).toString() != LargeFileID || digests != expected) {
        m_record.problems.append(u"finish with digests out of part order or missing"_s);
        return serviceError(400, "bad_request");
    }
    return json({{u"fileId"_s, LargeFileID}, {u"action"_s, u"upload"_s}});
}

BackblazePeer::Reply BackblazePeer::cancelLargeFile(const Request& request) {
    const QString fileID = body(request).value(u"fileId"_s).toString();
    std::lock_guard lock(m_mutex);
    m_record.cancelCalls.append(fileID);
    return json({{u"fileId"_s, fileID}});
}

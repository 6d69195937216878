#include "support/NVSBackblazeAPI.h"

#include "platform/ConsoleLog.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QObject>
#include <algorithm>

using platform::Error;
using platform::http::Request;
using platform::http::Response;

namespace {

const QByteArray JsonContentType = QByteArrayLiteral("application/json; charset=utf-8");

QUrl callURL(const QString& apiURL, const char* call) {
    return QUrl(apiURL + QStringLiteral("/b2api/v2/") + QLatin1String(call));
}

Request jsonCall(const QString& apiURL, const char* call, const QString& token, const QJsonObject& body) {
    Request request(callURL(apiURL, call), QByteArrayLiteral("POST"));
    request.headers.append("Authorization", token.toUtf8());
    request.headers.append("Content-Type", JsonContentType);
    request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return request;
}

Request upload(const QString& uploadURL, const QString& uploadToken, QByteArray data, const QString& SHA1) {
    Request request{QUrl(uploadURL), QByteArrayLiteral("POST")};
    request.headers.append("Authorization", uploadToken.toUtf8());
    request.headers.append("Content-Length", QByteArray::number(data.size()));
    request.headers.append("X-Bz-Content-Sha1", SHA1.toLatin1());
    request.body = std::move(data);
    return request;
}

Error invalidAnswer(const QString& what) {
    return Error::make(NVSBackblazeAPI::ErrorDomain, NVSBackblazeAPI::InvalidAnswer,
                       QObject::tr("The storage service's answer has no usable %1.").arg(what));
}

// The non-empty string members `names` of the answer, or nullopt (with the error) when one is missing.
std::optional<QStringList> stringMembers(const Response& response, std::initializer_list<const char*> names,
                                         std::optional<Error>* error, QJsonObject* object = nullptr) {
    const std::optional<QJsonObject> answer = NVSBackblazeAPI::jsonAnswer(response, error);
    if (!answer)
        return std::nullopt;
    QStringList values;
    for (const char* name : names) {
        const QString value = answer->value(QLatin1String(name)).toString();
        if (value.isEmpty()) {
            *error = invalidAnswer(QLatin1String(name));
            return std::nullopt;
        }
        values.append(value);
    }
    if (object)
        *object = *answer;
    return values;
}

} // namespace

QByteArray NVSBackblazeAPI::authenticationHeader(const QString& keyID, const QString& applicationKey) {
    return "Basic " + QString(keyID + u':' + applicationKey).toUtf8().toBase64();
}

QByteArray NVSBackblazeAPI::percentEncodedFileName(const QString& fileName) {
    // The query's characters besides the unreserved ones that toPercentEncoding keeps anyway.
    return fileName.toUtf8().toPercentEncoding(QByteArrayLiteral("!$&'()*+/:;=?@"));
}

bool NVSBackblazeAPI::isAcceptableAddress(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http"))
        return false;
    const QString host = url.host().toLower();
    if (host == QLatin1String("localhost") || host == QLatin1String("::1"))
        return true;
    // 127.0.0.0/8 as four numbers ("127.example.com" is somebody else's host).
    const QStringList numbers = host.split(u'.');
    return numbers.size() == 4 && numbers.front() == QLatin1String("127") &&
           std::all_of(numbers.cbegin(), numbers.cend(), [](const QString& number) {
               bool ok = false;
               const uint value = number.toUInt(&ok);
               return ok && value <= 255;
           });
}

Request NVSBackblazeAPI::authorizeAccount(const QUrl& authorizationURL,
                                          const QByteArray& authenticationHeader) {
    QUrl url = authorizationURL;
    url.setPath(url.path().chopped(url.path().endsWith(u'/') ? 1 : 0) +
                QStringLiteral("/b2api/v2/b2_authorize_account"));
    Request request(url);
    request.headers.append("Content-Type", JsonContentType);
    request.headers.append("Accept", "application/json");
    request.headers.append("Authorization", authenticationHeader);
    return request;
}

Request NVSBackblazeAPI::getUploadURL(const QString& apiURL, const QString& token, const QString& bucketID) {
    return jsonCall(apiURL, "b2_get_upload_url", token, {{QStringLiteral("bucketId"), bucketID}});
}

Request NVSBackblazeAPI::uploadFile(const QString& uploadURL, const QString& uploadToken,
                                    const QByteArray& encodedFileName, QByteArray data, const QString& SHA1) {
    Request request = upload(uploadURL, uploadToken, std::move(data), SHA1);
    request.headers.append("X-Bz-File-Name", encodedFileName);
    request.headers.append("Content-Type", "b2/x-auto");
    return request;
}

Request NVSBackblazeAPI::startLargeFile(const QString& apiURL, const QString& token, const QString& fileName,
                                        const QString& bucketID) {
    return jsonCall(apiURL, "b2_start_large_file", token,
                    {{QStringLiteral("fileName"), fileName},
                     {QStringLiteral("bucketId"), bucketID},
                     {QStringLiteral("contentType"), QStringLiteral("b2/x-auto")}});
}

Request NVSBackblazeAPI::getUploadPartURL(const QString& apiURL, const QString& token,
                                          const QString& fileID) {
    return jsonCall(apiURL, "b2_get_upload_part_url", token, {{QStringLiteral("fileId"), fileID}});
}

Request NVSBackblazeAPI::uploadPart(const QString& uploadURL, const QString& uploadToken, int partNumber,
                                    QByteArray data, const QString& SHA1) {
    Request request = upload(uploadURL, uploadToken, std::move(data), SHA1);
    request.headers.append("X-Bz-Part-Number", QByteArray::number(partNumber));
    return request;
}

Request NVSBackblazeAPI::finishLargeFile(const QString& apiURL, const QString& token, const QString& fileID,
                                         const QStringList& partSHA1s) {
    return jsonCall(apiURL, "b2_finish_large_file", token,
                    {{QStringLiteral("fileId"), fileID},
                     {QStringLiteral("partSha1Array"), QJsonArray::fromStringList(partSHA1s)}});
}

Request NVSBackblazeAPI::cancelLargeFile(const QString& apiURL, const QString& token, const QString& fileID) {
    return jsonCall(apiURL, "b2_cancel_large_file", token, {{QStringLiteral("fileId"), fileID}});
}

bool NVSBackblazeAPI::succeeded(const Response& response, std::optional<Error>* error) {
    if (response.isComplete() && response.statusCode == 200 && !response.body.isEmpty())
        return true;
    if (response.isComplete() && response.statusCode == 200)
        *error = invalidAnswer(QObject::tr("content"));
    else
        *error = errorForResponse(response);
    return false;
}

std::optional<QJsonObject> NVSBackblazeAPI::jsonAnswer(const Response& response,
                                                       std::optional<Error>* error) {
    if (!succeeded(response, error))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(response.body);
    if (!document.isObject()) {
        *error = invalidAnswer(QObject::tr("JSON"));
        return std::nullopt;
    }
    return document.object();
}

std::optional<Error> NVSBackblazeAPI::errorForResponse(const Response& response) {
    if (response.error)
        return response.error;
    const QJsonDocument document = QJsonDocument::fromJson(response.body);
    if (!document.isObject())
        return std::nullopt;
    return Error(ErrorDomain, response.statusCode, document.object().toVariantMap());
}

std::optional<NVSBackblazeAPI::AccountAuthorization>
NVSBackblazeAPI::accountAuthorization(const Response& response, std::optional<Error>* error) {
    QJsonObject answer;
    const auto values = stringMembers(response, {"apiUrl", "authorizationToken"}, error, &answer);
    if (!values)
        return std::nullopt;
    const qint64 partSize = answer.value(QLatin1String("recommendedPartSize")).toInteger();
    if (partSize <= 0) {
        *error = invalidAnswer(QStringLiteral("recommendedPartSize"));
        return std::nullopt;
    }
    if (!isAcceptableAddress(QUrl(values->at(0)))) {
        *error = Error::make(ErrorDomain, InsecureAddress,
                             QObject::tr("The storage service named an API address that is not secure."));
        return std::nullopt;
    }
    // Kept for completeness: the upload itself never downloads.
    const QString downloadURL = answer.value(QLatin1String("downloadUrl")).toString();
    return AccountAuthorization{downloadURL, values->at(0), values->at(1), partSize};
}

std::optional<NVSBackblazeAPI::UploadAddress> NVSBackblazeAPI::uploadAddress(const Response& response,
                                                                             std::optional<Error>* error) {
    const auto values = stringMembers(response, {"uploadUrl", "authorizationToken"}, error);
    if (!values)
        return std::nullopt;
    if (!isAcceptableAddress(QUrl(values->at(0)))) {
        *error = Error::make(ErrorDomain, InsecureAddress,
                             QObject::tr("The storage service named an upload address that is not secure."));
        return std::nullopt;
    }
    return UploadAddress{values->at(0), values->at(1)};
}

std::optional<QString> NVSBackblazeAPI::fileID(const Response& response, std::optional<Error>* error) {
    const auto values = stringMembers(response, {"fileId"}, error);
    if (!values)
        return std::nullopt;
    return values->front();
}

QString NVSBackblazeAPI::SHA1OfFileAtPath(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        platform::ConsoleLog::write(
            QStringLiteral("BackBlazeUploadTask: Error: Failed to open file at path: %1").arg(path));
        return {};
    }
    QCryptographicHash hash(QCryptographicHash::Sha1);
    char buffer[4096];
    for (;;) {
        const qint64 read = file.read(buffer, sizeof buffer);
        if (read < 0)
            return {};
        if (read == 0)
            break;
        hash.addData(QByteArrayView(buffer, read));
    }
    return QString::fromLatin1(hash.result().toHex());
}

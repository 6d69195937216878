#pragma once

#include "platform/Error.h"
#include "platform/HttpRequest.h"
#include "platform/HttpResponse.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

/// The storage service's native API (version 2) as plain values: the requests of the calls the
/// support upload makes, and what their answers mean. No transport here.
///
/// Every call but the two uploads goes to the account's API address + "/b2api/v2/<call>" with a
/// JSON body and the account token; the uploads go to the address the service handed out, with
/// that address's own token.
class NVSBackblazeAPI {
  public:
    static inline const QString ErrorDomain = QStringLiteral("com.norvane.upload");
    /// Codes of failures found on this side (HTTP statuses are used as they are).
    enum LocalErrorCode {
        NotConfigured = -1,
        FileUnreadable = -2,
        InvalidAnswer = -3,
        InsecureAddress = -4,
        Cancelled = -5,
        AlreadyStarted = -6,
    };

    struct AccountAuthorization {
        QString downloadURL;
        QString apiURL;
        QString authorizationToken;
        qint64 recommendedPartSize = 0;
    };
    struct UploadAddress {
        QString uploadURL;
        QString authorizationToken;
    };

    /// "Basic " + Base64 of the UTF-8 of "keyID:applicationKey".
    static QByteArray authenticationHeader(const QString& keyID, const QString& applicationKey);
    /// UTF-8 of `fileName` percent-encoded, leaving as they are the characters allowed in a URL
    /// query except ','.
    static QByteArray percentEncodedFileName(const QString& fileName);
    /// The SHA-1 digest of the file as 40 lower-case hexadecimal digits, read 4096 bytes at a
    /// time; a null string when the file cannot be read. Any thread.
    static QString SHA1OfFileAtPath(const QString& path);
    /// Whether credentials may be sent to `url`: https, or http to this machine only.
    static bool isAcceptableAddress(const QUrl& url);

    static platform::http::Request authorizeAccount(const QUrl& authorizationURL,
                                                    const QByteArray& authenticationHeader);
    static platform::http::Request getUploadURL(const QString& apiURL, const QString& token,
                                                const QString& bucketID);
    static platform::http::Request uploadFile(const QString& uploadURL, const QString& uploadToken,
                                              const QByteArray& encodedFileName, QByteArray data,
                                              const QString& SHA1);
    static platform::http::Request startLargeFile(const QString& apiURL, const QString& token,
                                                  const QString& fileName, const QString& bucketID);
    static platform::http::Request getUploadPartURL(const QString& apiURL, const QString& token,
                                                    const QString& fileID);
    /// `partNumber` as the service counts, from 1.
    static platform::http::Request uploadPart(const QString& uploadURL, const QString& uploadToken,
                                              int partNumber, QByteArray data, const QString& SHA1);
    static platform::http::Request finishLargeFile(const QString& apiURL, const QString& token,
                                                   const QString& fileID, const QStringList& partSHA1s);
    static platform::http::Request cancelLargeFile(const QString& apiURL, const QString& token,
                                                   const QString& fileID);

    /// Whether the call succeeded: HTTP 200 and a body. Otherwise fills `error` (never null)
    /// when the failure has an error (see errorForResponse).
    static bool succeeded(const platform::http::Response& response, std::optional<platform::Error>* error);
    /// The answer's JSON object when the call succeeded and the body is one.
    static std::optional<QJsonObject> jsonAnswer(const platform::http::Response& response,
                                                 std::optional<platform::Error>* error);
    /// A failed call as an error: the transport's error when nothing arrived; for any other
    /// status (ErrorDomain, the status, the answer's JSON members as information); none when
    /// such an answer is not JSON.
    static std::optional<platform::Error> errorForResponse(const platform::http::Response& response);

    static std::optional<AccountAuthorization> accountAuthorization(const platform::http::Response& response,
                                                                    std::optional<platform::Error>* error);
    static std::optional<UploadAddress> uploadAddress(const platform::http::Response& response,
                                                      std::optional<platform::Error>* error);
    static std::optional<QString> fileID(const platform::http::Response& response,
                                         std::optional<platform::Error>* error);
};

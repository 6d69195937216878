#pragma once

#include "testkit/LoopbackHttpServer.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <chrono>
#include <mutex>

/// The storage service's native API as far as the support upload uses it, on a loopback server.
///
/// It checks what the real service would refuse and notes it in problems() (while answering as
/// the service would): the Basic credentials on authorization, the account token on API calls,
/// each upload address's own token, every upload's SHA-1 header against its body, and a finish
/// call whose digests are not those of the parts in ascending part number.
class BackblazePeer {
  public:
    static inline const QString AccountToken = QStringLiteral("account-token-3f9a");
    static inline const QString FileToken = QStringLiteral("upload-token-77c1");
    static inline const QString LargeFileID = QStringLiteral("4_large_file_1");

    BackblazePeer(QString keyID, QString applicationKey, QString bucketID, qint64 recommendedPartSize);

    /// The hex SHA-1 digest the service gives its files and parts.
    static QString sha1(const QByteArray& bytes);

    QUrl authorizationURL() const { return m_server.url(QString()); }
    testing_support::LoopbackHttpServer& server() { return m_server; }

    /// The part (1-based, as on the wire) is answered with 503 its next `times` attempts.
    void failPart(int partNumber, int times);
    /// Answers to the part (1-based) wait this long.
    void delayPart(int partNumber, std::chrono::milliseconds delay);
    /// Part uploads get no answer at all.
    void hangParts();
    /// The single upload waits this long for its answer.
    void delayFileUpload(std::chrono::milliseconds delay);

    struct Upload {
        QByteArray fileName; // X-Bz-File-Name as sent
        QByteArray body;
    };
    /// What the peer has received so far.
    struct Record {
        QList<Upload> fileUploads;
        QList<int> partAttempts;           // part numbers of every part upload, in arrival order
        QMap<int, QByteArray> storedParts; // bodies of the parts answered 200, by part number
        QList<QStringList> finishCalls;    // the partSha1Array of each finish call
        QStringList cancelCalls;           // the fileId of each cancel call
        QStringList problems;
    };
    Record record() const {
        std::lock_guard lock(m_mutex);
        return m_record;
    }
    /// The number of requests of each path ("/b2api/v2/b2_authorize_account", "/upload/part", …).
    int requestCount(const QByteArray& path) const;

  private:
    using Request = testing_support::LoopbackHttpServer::Request;
    using Reply = testing_support::LoopbackHttpServer::Reply;

    void problem(const QString& text);
    bool hasToken(const Request& request, const QString& token);
    Reply authorize(const Request& request);
    Reply uploadURL(const Request& request);
    Reply uploadFile(const Request& request);
    Reply startLargeFile(const Request& request);
    Reply uploadPartURL(const Request& request);
    Reply uploadPart(const Request& request);
    Reply finishLargeFile(const Request& request);
    Reply cancelLargeFile(const Request& request);

    const QString m_keyID;
    const QString m_applicationKey;
    const QString m_bucketID;
    const qint64 m_recommendedPartSize;

    mutable std::mutex m_mutex;
    Record m_record;
    QHash<int, int> m_failuresLeft;
    QHash<int, std::chrono::milliseconds> m_partDelays;
    std::chrono::milliseconds m_fileDelay{0};
    bool m_hangParts = false;
    int m_partAddresses = 0;

    // Last: its thread calls the handlers above until it is destroyed.
    testing_support::LoopbackHttpServer m_server;
};

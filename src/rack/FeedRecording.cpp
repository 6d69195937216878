#include "rack/FeedRecording.h"

#include "platform/AtomicFile.h"
#include "platform/Error.h"
#include "platform/Json.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace {

QByteArray digest(const QByteArray& body) {
    return QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();
}

QString extensionFor(const QByteArray& contentType) {
    if (contentType.contains("json"))
        return QStringLiteral("json");
    if (contentType.contains("xml"))
        return QStringLiteral("xml");
    return QStringLiteral("txt");
}

platform::Error fileError(const QString& text) {
    return platform::Error::make(platform::Error::FileDomain, 1, text);
}

} // namespace

std::optional<FeedRecording> FeedRecording::open(const QString& folder, platform::Error* error) {
    if (!QDir().mkpath(folder)) {
        platform::setError(error, fileError(QStringLiteral("Cannot make the folder “%1”.").arg(folder)));
        return std::nullopt;
    }
    FeedRecording recording(QDir(folder).absolutePath());
    QFile index(QDir(recording.m_folder).filePath(IndexFileName));
    if (!index.exists())
        return recording;
    if (!index.open(QIODevice::ReadOnly)) {
        platform::setError(
            error,
            fileError(QStringLiteral("Cannot read “%1”: %2").arg(index.fileName(), index.errorString())));
        return std::nullopt;
    }
    while (!index.atEnd()) {
        const QByteArray line = index.readLine().trimmed();
        const std::optional<platform::JsonValue> entry = platform::parseJson(line);
        if (!entry || !entry->is_object())
            continue; // a line cut short by a stop in the middle of writing it
        Snapshot snapshot;
        snapshot.number = entry->value("snapshot", 0);
        snapshot.file = QString::fromStdString(entry->value("file", std::string()));
        snapshot.fetchedAt = QDateTime::fromString(
            QString::fromStdString(entry->value("fetchedAt", std::string())), Qt::ISODateWithMs);
        snapshot.contentType = QByteArray::fromStdString(entry->value("contentType", std::string()));
        snapshot.status = entry->value("status", 0);
        snapshot.bytes = entry->value("bytes", qint64(0));
        snapshot.sha256 = QByteArray::fromStdString(entry->value("sha256", std::string()));
        // Only plain names inside the folder: an index is data, not a way to read other files.
        if (snapshot.file.isEmpty() || snapshot.file.contains(QLatin1Char('/')) ||
            snapshot.file.startsWith(QLatin1Char('.')) || !snapshot.fetchedAt.isValid() ||
            !QFileInfo::exists(QDir(recording.m_folder).filePath(snapshot.file)))
            continue;
        snapshot.fetchedAt = snapshot.fetchedAt.toUTC();
        recording.m_snapshots.append(snapshot);
    }
    return recording;
}

bool FeedRecording::differsFromLast(const QByteArray& body, const QByteArray& contentType, int status) const {
    if (m_snapshots.isEmpty())
        return true;
    const Snapshot& last = m_snapshots.constLast();
    return last.status != status || last.contentType != contentType || last.sha256 != digest(body);
}

bool FeedRecording::append(const QByteArray& body, const QByteArray& contentType, int status,
                           const QDateTime& fetchedAt, platform::Error* error) {
    Snapshot snapshot;
    snapshot.number = m_snapshots.isEmpty() ? 1 : m_snapshots.constLast().number + 1;
    snapshot.file = QStringLiteral("snapshot-%1.%2")
                        .arg(snapshot.number, 6, 10, QLatin1Char('0'))
                        .arg(extensionFor(contentType));
    snapshot.fetchedAt = fetchedAt.toUTC();
    snapshot.contentType = contentType;
    snapshot.status = status;
    snapshot.bytes = body.size();
    snapshot.sha256 = digest(body);
    const QDir folder(m_folder);
    if (!platform::AtomicFile::write(folder.filePath(snapshot.file), body, error))
        return false;
    const nlohmann::ordered_json entry{
        {"snapshot", snapshot.number},
        {"file", snapshot.file.toStdString()},
        {"fetchedAt", snapshot.fetchedAt.toString(Qt::ISODateWithMs).toStdString()},
        {"contentType", contentType.toStdString()},
        {"status", status},
        {"bytes", snapshot.bytes},
        {"sha256", snapshot.sha256.toStdString()}};
    QFile index(folder.filePath(IndexFileName));
    if (!index.open(QIODevice::WriteOnly | QIODevice::Append)) {
        platform::setError(
            error,
            fileError(QStringLiteral("Cannot write “%1”: %2").arg(index.fileName(), index.errorString())));
        return false;
    }
    const QByteArray line = QByteArray::fromStdString(entry.dump()) + '\n';
    if (index.write(line) != line.size() || !index.flush() || ::fsync(index.handle()) != 0) {
        platform::setError(
            error,
            fileError(QStringLiteral("Cannot write “%1”: %2").arg(index.fileName(), index.errorString())));
        return false;
    }
    m_snapshots.append(snapshot);
    return true;
}

QByteArray FeedRecording::body(const Snapshot& snapshot) const {
    QFile file(QDir(m_folder).filePath(snapshot.file));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

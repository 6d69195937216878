#include "rack/FeedRecording.h"

#include "platform/AtomicFile.h"
#include "platform/ConsoleLog.h"
#include "platform/Error.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
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
    if (contentType.contains("csv"))
        return QStringLiteral("csv");
    if (contentType.contains("tab-separated-values"))
        return QStringLiteral("tsv");
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
    const FeedRecordingIndex::Parsed parsed = FeedRecordingIndex::parse(index.readAll());
    const QDir directory(recording.m_folder);
    const auto skip = [&](int line, const QString& reason) {
        platform::ConsoleLog::write(
            QStringLiteral("%1 line %2 skipped: %3").arg(index.fileName()).arg(line).arg(reason));
    };
    for (const FeedRecordingIndex::Skipped& skipped : parsed.skipped)
        skip(skipped.line, skipped.reason);
    for (const FeedRecordingIndex::Entry& entry : parsed.entries) {
        recording.m_nextNumber = std::max(recording.m_nextNumber, entry.snapshot.number + 1);
        if (!QFileInfo(directory.filePath(entry.snapshot.file)).isFile())
            skip(entry.line, QStringLiteral("its file “%1” is missing").arg(entry.snapshot.file));
        else
            recording.m_snapshots.append(entry.snapshot);
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
    const QDir folder(m_folder);
    // A snapshot file that is there without its index line (a stop between the two) stays.
    while (!folder
                .entryList({QStringLiteral("snapshot-%1.*").arg(m_nextNumber, 6, 10, QLatin1Char('0'))},
                           QDir::Files | QDir::Hidden)
                .isEmpty())
        ++m_nextNumber;
    if (m_nextNumber > FeedRecordingIndex::LastNumber) {
        platform::setError(error, fileError(QStringLiteral("The recording in “%1” holds its last possible "
                                                           "snapshot number: record into a new folder.")
                                                .arg(m_folder)));
        return false;
    }
    snapshot.number = m_nextNumber;
    snapshot.file = QStringLiteral("snapshot-%1.%2")
                        .arg(snapshot.number, 6, 10, QLatin1Char('0'))
                        .arg(extensionFor(contentType));
    snapshot.fetchedAt = fetchedAt.toUTC();
    snapshot.contentType = contentType;
    snapshot.status = status;
    snapshot.bytes = body.size();
    snapshot.sha256 = digest(body);
    if (!platform::AtomicFile::write(folder.filePath(snapshot.file), body, error))
        return false;
    QFile index(folder.filePath(IndexFileName));
    const auto failed = [&] {
        platform::setError(
            error,
            fileError(QStringLiteral("Cannot write “%1”: %2").arg(index.fileName(), index.errorString())));
        return false;
    };
    if (!index.open(QIODevice::ReadWrite))
        return failed();
    QByteArray line = FeedRecordingIndex::line(snapshot);
    // After a line cut short (a power cut while it was written) the next one starts on a line of
    // its own, so that it stays readable.
    char last = '\n';
    if (index.size() > 0 && (!index.seek(index.size() - 1) || !index.getChar(&last)))
        return failed();
    if (last != '\n')
        line.prepend('\n');
    if (!index.seek(index.size()) || index.write(line) != line.size() || !index.flush() ||
        ::fsync(index.handle()) != 0)
        return failed();
    m_snapshots.append(snapshot);
    ++m_nextNumber;
    return true;
}

QByteArray FeedRecording::body(const Snapshot& snapshot) const {
    QFile file(QDir(m_folder).filePath(snapshot.file));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

#pragma once

#include "rack/FeedRecordingIndex.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>
#include <optional>

namespace platform {
class Error;
}

/// A recording of a feed: a folder with one file per snapshot and an index, `index.jsonl`, with
/// one JSON object per line and per snapshot, in recording order:
///
///     {"snapshot":1,"file":"snapshot-000001.xml","fetchedAt":"2026-11-03T22:10:00.250Z",
///      "contentType":"application/xml","status":200,"bytes":10342,"sha256":"…"}
///
/// A snapshot's file is written whole (to a temporary name, then renamed) before its index line
/// is appended and flushed to the disk, so a recording stopped at any moment (a signal, a power
/// cut) holds every snapshot it announced. Reading skips, with one console line naming its line
/// number, an index line that is cut short, lacks a field or has one of the wrong type, or whose
/// file is missing (see FeedRecordingIndex). Going on after a line cut short starts on a new
/// line, and a snapshot's number is never one whose file is there already.
class FeedRecording {
  public:
    using Snapshot = FeedSnapshot;

    static inline const QString IndexFileName = QStringLiteral("index.jsonl");

    /// The recording in `folder` (made when missing); its snapshots so far are read.
    static std::optional<FeedRecording> open(const QString& folder, platform::Error* error);

    const QString& folder() const { return m_folder; }
    const QVector<Snapshot>& snapshots() const { return m_snapshots; }
    /// Whether `body` with that content type and status differs from the last snapshot.
    bool differsFromLast(const QByteArray& body, const QByteArray& contentType, int status) const;
    /// Stores a snapshot; the recording holds it once this returns true.
    bool append(const QByteArray& body, const QByteArray& contentType, int status, const QDateTime& fetchedAt,
                platform::Error* error);
    /// The content of a snapshot's file; empty when it cannot be read.
    QByteArray body(const Snapshot& snapshot) const;

  private:
    explicit FeedRecording(QString folder) : m_folder(std::move(folder)) {}

    QString m_folder;
    QVector<Snapshot> m_snapshots;
    int m_nextNumber = 1;
};

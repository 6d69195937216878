#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

/// One stored answer of a recorded feed: a line of the recording's index.
struct FeedSnapshot {
    int number = 0;
    QString file;
    QDateTime fetchedAt; // UTC
    QByteArray contentType;
    int status = 0;
    qint64 bytes = 0;
    QByteArray sha256; // hex
};

/// The index of a recording (`index.jsonl`): one JSON object per line and per snapshot. The
/// index is data that may have been cut short by a power cut or edited by hand: every field is
/// checked for its type and range, and a line that fails is skipped with its line number and the
/// reason, never followed. A "file" must be a plain name inside the recording's folder, and a
/// content type can hold no control characters (it becomes an HTTP header on replay).
/// Pure functions, any thread.
class FeedRecordingIndex {
  public:
    struct Entry {
        int line = 0; // 1-based
        FeedSnapshot snapshot;
    };
    struct Skipped {
        int line = 0;
        QString reason;
    };
    struct Parsed {
        QVector<Entry> entries;
        QVector<Skipped> skipped;
    };

    /// The highest snapshot number a recording holds.
    static constexpr int LastNumber = 99'999'999;

    static Parsed parse(const QByteArray& text);
    /// The index line of a snapshot, with its line feed.
    static QByteArray line(const FeedSnapshot& snapshot);
    /// A name of a file directly inside the folder: no separator, not hidden, not "." or "..".
    static bool isPlainFileName(const QString& name);
};

#pragma once

#include <QByteArray>
#include <QtGlobal>

/// Appends whole buffers to one log file at a time, keeping it open: a busy process writes
/// hundreds of lines a second, each of which would otherwise open and close the file. The file is
/// looked at again once a second of the caller's clock: one removed or replaced meanwhile (log
/// rotation, a user clearing the folder) gets a new one.
class LogFileAppender {
  public:
    LogFileAppender() = default;
    ~LogFileAppender();
    LogFileAppender(const LogFileAppender&) = delete;
    LogFileAppender& operator=(const LogFileAppender&) = delete;

    /// Appends `bytes` to the file at `nativePath` (created rw-rw-r-- if missing) in second
    /// `second`; false when it would not open or the write was cut short (a full disk).
    bool append(const QByteArray& nativePath, const QByteArray& bytes, qint64 second);
    /// Appends `bytes` to the file at `nativePath` (created rw-rw-r-- if missing) and closes it
    /// again: for side files written now and then. False as append() says.
    static bool appendOnce(const QByteArray& nativePath, const QByteArray& bytes);

  private:
    int descriptorFor(const QByteArray& nativePath, qint64 second);

    QByteArray m_path;
    int m_descriptor = -1;
    qint64 m_checkedSecond = -1; // the file was last found still there in this second
};

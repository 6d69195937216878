#pragma once

#include "platform/AtomicFile.h"
#include "platform/Error.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

namespace platform {

/// Writes a file as it is produced, with AtomicFile's guarantee: the bytes go to a temporary file
/// beside the destination, which replaces it only at commit(). A writer destroyed without a
/// commit, or any failed write, leaves the old file untouched. For files too large to hold whole
/// in memory first.
class AtomicFileWriter {
  public:
    /// Opens the temporary file; false with `error` set when that fails.
    bool open(const QString& path, Error* error = nullptr,
              AtomicFile::NewFileMode newFileMode = AtomicFile::NewFileMode::Default);
    /// Appends `bytes`. After a failure it takes nothing more; commit() reports the failure.
    void write(const char* bytes, qsizetype size);
    void write(const QByteArray& bytes) { write(bytes.constData(), bytes.size()); }
    /// Writes what is gathered, flushes and renames the file over the destination.
    bool commit(Error* error = nullptr);

  private:
    bool flushGathered();
    bool fail(Error* error);

    // Written in large pieces, unbuffered below this: a short write (disk full, size limit)
    // shows in write()'s count instead of vanishing inside a buffered flush.
    static constexpr qsizetype GatherSize = 256 * 1024;

    QString m_path;
    std::unique_ptr<QSaveFile> m_file;
    QByteArray m_gathered;
    bool m_failed = false;
};

} // namespace platform

#include "platform/AtomicFileWriter.h"

#include <QFileInfo>

namespace platform {

bool AtomicFileWriter::open(const QString& path, Error* error, AtomicFile::NewFileMode newFileMode) {
    const bool isNew = !QFileInfo::exists(path);
    m_path = path;
    m_failed = false;
    m_file = std::make_unique<QSaveFile>(path);
    // Never fall back to writing in place: a half-written file would be worse than none.
    m_file->setDirectWriteFallback(false);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(error);
    // Before any byte is written; the temporary file of an existing one has its mode already.
    if (isNew && newFileMode == AtomicFile::NewFileMode::OwnerOnly &&
        !m_file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return fail(error);
    return true;
}

void AtomicFileWriter::write(const char* bytes, qsizetype size) {
    if (m_failed || !m_file)
        return;
    if (m_gathered.size() + size > GatherSize && !flushGathered())
        return;
    if (size >= GatherSize) {
        m_failed = m_file->write(bytes, size) != size;
        return;
    }
    m_gathered.append(bytes, size);
}

bool AtomicFileWriter::flushGathered() {
    if (!m_gathered.isEmpty()) {
        m_failed = m_file->write(m_gathered) != m_gathered.size();
        m_gathered.resize(0); // keeps the room for the next piece
    }
    return !m_failed;
}

bool AtomicFileWriter::commit(Error* error) {
    if (!m_file)
        return false;
    if (m_failed || !flushGathered() || !m_file->commit())
        return fail(error);
    m_file.reset();
    return true;
}

bool AtomicFileWriter::fail(Error* error) {
    setError(error, Error::make(Error::FileDomain, static_cast<int>(m_file->error()),
                                QStringLiteral("Cannot write “%1”: %2").arg(m_path, m_file->errorString())));
    m_file->cancelWriting();
    m_file.reset();
    m_failed = true;
    return false;
}

} // namespace platform

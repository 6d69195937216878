#include "platform/Document.h"

#include "platform/AtomicFile.h"

#include <QFileInfo>

namespace platform {

Document::Document(QObject* parent) : QObject(parent) {}

Document::~Document() = default;

QString Document::displayName() const {
    return m_filePath.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(m_filePath).completeBaseName();
}

void Document::updateChangeCount(ChangeKind kind) {
    const bool wasEdited = isDocumentEdited();
    switch (kind) {
    case ChangeKind::Done:
        ++m_changeCount;
        break;
    case ChangeKind::Undone:
        --m_changeCount;
        break;
    case ChangeKind::Cleared:
        m_changeCount = 0;
        break;
    }
    if (wasEdited != isDocumentEdited())
        Q_EMIT documentEditedChanged();
}

bool Document::readFromPath(const QString& path, const QString& typeName, Error* error) {
    if (!readFromFile(path, typeName, error))
        return false;
    m_fileType = typeName;
    setFilePath(QFileInfo(path).absoluteFilePath());
    updateChangeCount(ChangeKind::Cleared);
    return true;
}

bool Document::saveToPath(const QString& path, const QString& typeName, Error* error) {
    if (!writeToFile(path, typeName, error))
        return false;
    m_fileType = typeName;
    setFilePath(QFileInfo(path).absoluteFilePath());
    updateChangeCount(ChangeKind::Cleared);
    return true;
}

bool Document::save(Error* error) {
    if (m_filePath.isEmpty()) {
        setError(error, Error::make(Error::FileDomain, 4,
                                    QStringLiteral("The document has not been saved to a file yet.")));
        return false;
    }
    return saveToPath(m_filePath, m_fileType, error);
}

bool Document::writeToFile(const QString& path, const QString& typeName, Error* error) {
    const std::optional<QByteArray> data = dataOfType(typeName, error);
    const bool secret = holdsSecrets();
    if (!data ||
        !AtomicFile::write(path, *data, error,
                           secret ? AtomicFile::NewFileMode::OwnerOnly : AtomicFile::NewFileMode::Default))
        return false;
    if (secret && AtomicFile::isWorldReadable(path) && m_worldReadableSecretsTold != path) {
        m_worldReadableSecretsTold = path;
        secretsWrittenToWorldReadableFile(path);
    }
    return true;
}

std::optional<QByteArray> Document::dataOfType(const QString&, Error* error) {
    setError(error, Error::make(Error::FileDomain, 0, QStringLiteral("This document cannot be written.")));
    return std::nullopt;
}

void Document::setFilePath(const QString& path) {
    if (m_filePath == path)
        return;
    m_filePath = path;
    Q_EMIT filePathChanged();
}

} // namespace platform

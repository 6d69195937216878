#pragma once

#include "platform/Error.h"

#include <QObject>
#include <QString>
#include <optional>

namespace platform {

/// The document base: a file, a type name, a change count, reading and atomic writing.
/// Documents live on the main thread. Subclasses implement `readFromFile` and either
/// `dataOfType` (the base writes the bytes atomically) or `writeToFile`.
class Document : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString filePath READ filePath NOTIFY filePathChanged)
    Q_PROPERTY(bool documentEdited READ isDocumentEdited NOTIFY documentEditedChanged)
  public:
    enum class ChangeKind { Done, Undone, Cleared };

    explicit Document(QObject* parent = nullptr);
    ~Document() override;

    QString filePath() const { return m_filePath; }
    QString fileType() const { return m_fileType; }
    /// The file name without its extension, or "Untitled" for a document never saved.
    QString displayName() const;
    bool isDocumentEdited() const { return m_changeCount != 0; }
    virtual bool autosavesInPlace() const { return false; }

    void updateChangeCount(ChangeKind kind);

    /// Reads the file into this document; on failure the document keeps its state (as far as
    /// the subclass's reader allows) and `error` says why.
    bool readFromPath(const QString& path, const QString& typeName, Error* error = nullptr);
    /// Writes the document to `path` (atomically), remembers the path and clears the change count.
    bool saveToPath(const QString& path, const QString& typeName, Error* error = nullptr);
    /// Saves to the current file; fails when the document has none.
    bool save(Error* error = nullptr);
    /// The document is being closed: stop timers and work in progress. The default does nothing.
    virtual void close() {}

  Q_SIGNALS:
    void filePathChanged();
    void documentEditedChanged();

  protected:
    virtual bool readFromFile(const QString& path, const QString& typeName, Error* error) = 0;
    virtual bool writeToFile(const QString& path, const QString& typeName, Error* error);
    /// The file's bytes; an empty optional with `error` set when they cannot be made.
    virtual std::optional<QByteArray> dataOfType(const QString& typeName, Error* error);
    /// Whether the bytes about to be written hold a secret (a password): a new file is then made
    /// readable by its owner alone; a file that exists keeps its mode.
    virtual bool holdsSecrets() const { return false; }
    /// A document holding secrets was written to a file every account may read; told once per
    /// file path.
    virtual void secretsWrittenToWorldReadableFile(const QString& path) { Q_UNUSED(path) }

  private:
    void setFilePath(const QString& path);

    QString m_filePath;
    QString m_fileType;
    int m_changeCount = 0;
    QString m_worldReadableSecretsTold;
};

} // namespace platform

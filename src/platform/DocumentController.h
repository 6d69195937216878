#pragma once

#include "platform/Document.h"
#include "platform/Error.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace platform {

/// One kind of document the application opens: its type name, the file extensions it claims
/// (without the dot) and how an empty document of it is made.
struct DocumentType {
    QString name;
    QStringList extensions;
    std::function<std::unique_ptr<Document>()> make;
};

/// The application's open documents, in the order they were opened. Owns them. Opening picks the
/// type by the file's extension; a file that is already open is not opened twice. "Displaying" a
/// document is the program's business (the desktop program makes its window, the command line
/// connects it): the display handler is called for each document opened with `display` true.
/// Main thread.
class DocumentController : public QObject {
    Q_OBJECT
  public:
    using OpenCompletion = std::function<void(Document* document, bool wasAlreadyOpen, const Error& error)>;

    explicit DocumentController(QObject* parent = nullptr);
    ~DocumentController() override;

    void registerDocumentType(DocumentType type);
    const DocumentType* typeForPath(const QString& path) const;
    void setDisplayHandler(std::function<void(Document&)> handler) { m_display = std::move(handler); }

    const std::vector<std::unique_ptr<Document>>& documents() const { return m_documents; }
    Document* documentForPath(const QString& path) const;
    /// The file paths of the open documents, in order; documents never saved have none and are left out.
    QStringList documentFilePaths() const;

    /// Opens now. Null, with `error` set, when the file cannot be read; the other documents stay.
    Document* openDocument(const QString& path, bool display, Error* error = nullptr,
                           bool* wasAlreadyOpen = nullptr);
    /// Opens on a later turn of the main event loop and then calls `completion` there.
    void openDocumentWithContentsOfURL(const QString& path, bool display, OpenCompletion completion);
    /// Takes a document the caller made (e.g. a new, untitled one) into the list.
    Document* addDocument(std::unique_ptr<Document> document, bool display);
    void closeDocument(Document* document);
    void closeAllDocuments();

  Q_SIGNALS:
    /// A document was added or closed.
    void documentsChanged();

  private:
    std::vector<DocumentType> m_types;
    std::vector<std::unique_ptr<Document>> m_documents;
    std::function<void(Document&)> m_display;
};

} // namespace platform

#include "platform/DocumentController.h"

#include "platform/MainQueue.h"

#include <QFileInfo>
#include <QPointer>

namespace platform {

DocumentController::DocumentController(QObject* parent) : QObject(parent) {}

DocumentController::~DocumentController() {
    closeAllDocuments();
}

void DocumentController::registerDocumentType(DocumentType type) {
    m_types.push_back(std::move(type));
}

const DocumentType* DocumentController::typeForPath(const QString& path) const {
    const QString suffix = QFileInfo(path).suffix();
    for (const DocumentType& type : m_types) {
        if (type.extensions.contains(suffix, Qt::CaseInsensitive))
            return &type;
    }
    return nullptr;
}

Document* DocumentController::documentForPath(const QString& path) const {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (const auto& document : m_documents) {
        if (!document->filePath().isEmpty() && document->filePath() == absolute)
            return document.get();
    }
    return nullptr;
}

QStringList DocumentController::documentFilePaths() const {
    QStringList paths;
    for (const auto& document : m_documents) {
        if (!document->filePath().isEmpty())
            paths.append(document->filePath());
    }
    return paths;
}

Document* DocumentController::openDocument(const QString& path, bool display, Error* error,
                                           bool* wasAlreadyOpen) {
    if (wasAlreadyOpen)
        *wasAlreadyOpen = false;
    if (Document* open = documentForPath(path)) {
        if (wasAlreadyOpen)
            *wasAlreadyOpen = true;
        return open;
    }
    const DocumentType* type = typeForPath(path);
    if (!type) {
        setError(error,
                 Error::make(Error::FileDomain, 259,
                             QStringLiteral("The document “%1” could not be opened: files of this type "
                                            "are not documents of this application.")
                                 .arg(QFileInfo(path).fileName())));
        return nullptr;
    }
    std::unique_ptr<Document> document = type->make();
    if (!document->readFromPath(path, type->name, error)) {
        document->close();
        return nullptr;
    }
    return addDocument(std::move(document), display);
}

void DocumentController::openDocumentWithContentsOfURL(const QString& path, bool display,
                                                       OpenCompletion completion) {
    QPointer<DocumentController> self(this);
    MainQueue::dispatchAsync([self, path, display, completion = std::move(completion)] {
        if (!self)
            return;
        Error error;
        bool wasAlreadyOpen = false;
        Document* document = self->openDocument(path, display, &error, &wasAlreadyOpen);
        if (completion)
            completion(document, wasAlreadyOpen, document ? Error() : error);
    });
}

Document* DocumentController::addDocument(std::unique_ptr<Document> document, bool display) {
    Document* added = document.get();
    m_documents.push_back(std::move(document));
    Q_EMIT documentsChanged();
    if (display && m_display)
        m_display(*added);
    return added;
}

void DocumentController::closeDocument(Document* document) {
    for (auto it = m_documents.begin(); it != m_documents.end(); ++it) {
        if (it->get() != document)
            continue;
        std::unique_ptr<Document> closing = std::move(*it);
        m_documents.erase(it);
        closing->close();
        closing.reset();
        Q_EMIT documentsChanged();
        return;
    }
}

void DocumentController::closeAllDocuments() {
    while (!m_documents.empty())
        closeDocument(m_documents.back().get());
}

} // namespace platform

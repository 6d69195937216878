#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>
#include <vector>

class DocumentHealth;

/// What the control page shows of the open documents, as the JSON messages of its web socket,
/// and which documents changed since the pages were last told. A document's `id` is its place in
/// the opening order (documents are never closed while `run` runs). Main thread.
class ControlSnapshot : public QObject {
    Q_OBJECT
  public:
    /// `documents` is asked for the current list at every call.
    explicit ControlSnapshot(std::function<std::vector<DocumentHealth*>()> documents,
                             QObject* parent = nullptr);

    /// {"type":"documents","control":CONTROL,"documents":[every document]}.
    QByteArray everything(bool control);
    /// {"type":"changes","documents":[the documents that changed since the last call]}; empty
    /// when none did.
    QByteArray changes();
    /// Watches documents opened since the last look (documents that open later, such as the
    /// remembered ones, count as changed).
    void documentsChanged();

  Q_SIGNALS:
    /// A document changed: changes() has something to say.
    void changed();

  private:
    void watchNewDocuments(const std::vector<DocumentHealth*>& documents);

    std::function<std::vector<DocumentHealth*>()> m_documents;
    std::vector<char> m_dirty; // per watched document
    bool m_anyDirty = false;
};

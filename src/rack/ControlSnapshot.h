#pragma once

#include "platform/MonotonicClock.h"

#include <QByteArray>
#include <QObject>
#include <functional>
#include <nlohmann/json.hpp>
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

    /// {"type":"documents","control":CONTROL,"now":NOW,"documents":[every document]}, as the
    /// pages were last told: call changes() first and send its message to the pages there are,
    /// so that every page knows the same. Times (`lastRefreshAt`, a
    /// variable's `changedAt`) and NOW are seconds on the machine's monotonic clock since the
    /// snapshot was made: pages count ages on from them.
    QByteArray everything(bool control);
    /// {"type":"changes","now":NOW,"documents":[what changed since the pages were last told]}:
    /// per document its `id` and the members that differ; of a list of the same variables only
    /// "variableChanges":{"INDEX":{the members that differ}}. Empty when nothing did.
    QByteArray changes();
    /// Watches documents opened since the last look (documents that open later, such as the
    /// remembered ones, count as changed).
    void documentsChanged();

  Q_SIGNALS:
    /// A document changed: changes() has something to say.
    void changed();

  private:
    void watchNewDocuments(const std::vector<DocumentHealth*>& documents);

    double now() const;

    std::function<std::vector<DocumentHealth*>()> m_documents;
    platform::MonotonicClock::TimePoint m_epoch;
    std::vector<nlohmann::ordered_json> m_told; // per document, what the pages were told
    std::vector<char> m_dirty;                  // per watched document
    bool m_anyDirty = false;
};

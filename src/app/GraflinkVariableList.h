#pragma once

#include <QList>
#include <QObject>
#include <memory>
#include <mutex>

class GraflinkVariable;

/// The document's ordered variables. The list object owns its variables and its recursive lock:
/// every pass over the list (evaluating, publishing, clearing, loading, saving) holds `lock()`,
/// so a pass never sees the list change under it. Signals are emitted on the changing thread
/// (the main thread), after the change, with the lock released.
class GraflinkVariableList : public QObject {
    Q_OBJECT
  public:
    explicit GraflinkVariableList(QObject* parent = nullptr);
    ~GraflinkVariableList() override;

    std::recursive_mutex& lock() const { return m_mutex; }
    /// A snapshot of the variables in order. The pointers stay valid while they are in the list.
    QList<GraflinkVariable*> variables() const;
    qsizetype count() const;

    /// Takes ownership.
    void append(std::unique_ptr<GraflinkVariable> variable);
    void insert(qsizetype index, std::unique_ptr<GraflinkVariable> variable);
    void removeAt(qsizetype index);
    /// Replaces the whole list (the old variables are deleted).
    void replaceAll(std::vector<std::unique_ptr<GraflinkVariable>> variables);

  Q_SIGNALS:
    void inserted(qsizetype index);
    void removed(qsizetype index);
    void reset();

  private:
    mutable std::recursive_mutex m_mutex;
    std::vector<std::unique_ptr<GraflinkVariable>> m_variables;
};

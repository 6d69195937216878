#pragma once

#include <QUndoCommand>
#include <QVariant>
#include <functional>

namespace platform {

/// One document setting changed as one undoable step: the value before is read when the step
/// is made, and `set` applies either value.
class SetValueCommand : public QUndoCommand {
  public:
    SetValueCommand(const QString& text, const std::function<QVariant()>& get,
                    std::function<void(const QVariant&)> set, QVariant value, QUndoCommand* parent = nullptr);
    void redo() override;
    void undo() override;

  private:
    std::function<void(const QVariant&)> m_set;
    QVariant m_old;
    QVariant m_new;
};

} // namespace platform

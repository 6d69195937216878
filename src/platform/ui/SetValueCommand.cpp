#include "platform/ui/SetValueCommand.h"

namespace platform {

SetValueCommand::SetValueCommand(const QString& text, const std::function<QVariant()>& get,
                                 std::function<void(const QVariant&)> set, QVariant value,
                                 QUndoCommand* parent)
    : QUndoCommand(text, parent), m_set(std::move(set)), m_old(get()), m_new(std::move(value)) {}

void SetValueCommand::redo() {
    m_set(m_new);
}

void SetValueCommand::undo() {
    m_set(m_old);
}

} // namespace platform

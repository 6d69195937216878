#pragma once

#include <QUndoCommand>
#include <QVariant>
#include <QVariantMap>

class GraflinkDocument;

/// The undoable edits of a document's variables. Commands name variables by their position in the
/// list, which the commands on one stack keep consistent; each command writes the document
/// directly, so redo() after push() applies the edit.
namespace VariableEditCommands {

/// The editable properties of a variable, as the table's columns offer them.
enum class Property {
    XPath,
    ValueType,
    Format,
    CGProjectName,
    CGProjectItemName,
    AppleScriptActionName,
    FallbackMode,
    FallbackText
};

/// A property's value as the command stores it: a string (empty for none) or, for the value
/// type, an integer.
QVariant read(const GraflinkDocument& document, int row, Property property);

class SetProperty : public QUndoCommand {
  public:
    SetProperty(GraflinkDocument& document, int row, Property property, QVariant value);
    void redo() override;
    void undo() override;
    int id() const override { return 1; }
    /// Typing into the same cell merges into one step.
    bool mergeWith(const QUndoCommand* other) override;

  private:
    void apply(const QVariant& value);

    GraflinkDocument& m_document;
    int m_row;
    Property m_property;
    QVariant m_old;
    QVariant m_new;
};

/// Inserts a variable made from its dictionary form (the file's keys) at `row`.
class InsertVariable : public QUndoCommand {
  public:
    InsertVariable(GraflinkDocument& document, int row, QVariantMap dictionary);
    void redo() override;
    void undo() override;

  private:
    GraflinkDocument& m_document;
    int m_row;
    QVariantMap m_dictionary;
};

/// Removes the variable at `row`; undo brings it back with every property.
class RemoveVariable : public QUndoCommand {
  public:
    RemoveVariable(GraflinkDocument& document, int row);
    void redo() override;
    void undo() override;

  private:
    GraflinkDocument& m_document;
    int m_row;
    QVariantMap m_dictionary;
};

} // namespace VariableEditCommands

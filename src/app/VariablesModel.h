#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <QStringList>
#include <vector>

class GraflinkDocument;
class GraflinkVariable;
class QUndoStack;

/// The document's variables as a table: Path, Value, Age, Type, Format, Project, Field, Action,
/// If Missing, Fallback Text. Value and Age are read-only; Value updates live (only its cell
/// changes), Age when refreshAges() is called; Format is enabled for numbers only, Fallback Text
/// for variables that send it.
/// Edits go onto the undo stack as commands (directly onto the document without one). Main thread.
class VariablesModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        PathColumn,
        ValueColumn,
        AgeColumn,
        TypeColumn,
        FormatColumn,
        ProjectColumn,
        FieldColumn,
        ActionColumn,
        IfMissingColumn,
        FallbackTextColumn,
        ColumnCount
    };
    /// The choices a cell's editor offers (project names, the project's field names, action names,
    /// type names), as a QStringList; empty for free text.
    static constexpr int ChoicesRole = Qt::UserRole + 1;

    VariablesModel(GraflinkDocument& document, QUndoStack* undoStack, QObject* parent = nullptr);
    ~VariablesModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    GraflinkVariable* variableAt(int row) const;
    /// "Text", "Number" or "HTML" for a stored value type (0 and 1 are both text).
    static QString typeName(int valueType);
    static QString valueText(const GraflinkVariable& variable);
    /// "Keep on air", "Send empty" or "Send text" for a fallback mode.
    static QString fallbackName(int mode);
    /// Announces a new Age for every row (the window calls it every second).
    void refreshAges();

  private:
    void track(GraflinkVariable* variable);
    void cellsChanged(const GraflinkVariable* variable, int firstColumn, int lastColumn);
    void reload();

    GraflinkDocument& m_document;
    QPointer<QUndoStack> m_undoStack;
    // The rows as the views know them: updated inside each begin/end pair.
    std::vector<GraflinkVariable*> m_rows;
};

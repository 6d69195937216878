#pragma once

#include <QStyledItemDelegate>

/// Editors of the variables table: a combo box of the cell's choices (type, project, field,
/// action; project, field and action also take a typed name), a line edit elsewhere. Committing
/// goes through the model, which makes it an undoable step.
class VariableItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
};

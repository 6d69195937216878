#include "app/ui/VariableItemDelegate.h"

#include "app/VariablesModel.h"

#include <QComboBox>

QWidget* VariableItemDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) const {
    const QStringList choices = index.data(VariablesModel::ChoicesRole).toStringList();
    const bool fixedChoices =
        index.column() == VariablesModel::TypeColumn || index.column() == VariablesModel::IfMissingColumn;
    if (choices.isEmpty() && !fixedChoices && index.column() != VariablesModel::ActionColumn)
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto* combo = new QComboBox(parent);
    combo->setEditable(!fixedChoices);
    if (!fixedChoices)
        combo->addItem(QString()); // none
    combo->addItems(choices);
    combo->setAccessibleName(index.model()->headerData(index.column(), Qt::Horizontal).toString());
    return combo;
}

void VariableItemDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* combo = qobject_cast<QComboBox*>(editor);
    if (!combo) {
        QStyledItemDelegate::setEditorData(editor, index);
        return;
    }
    const QString current = index.data(Qt::DisplayRole).toString();
    const int found = combo->findText(current);
    if (found >= 0)
        combo->setCurrentIndex(found);
    else if (combo->isEditable())
        combo->setEditText(current);
}

void VariableItemDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                        const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        model->setData(index, combo->currentText(), Qt::EditRole);
    else
        QStyledItemDelegate::setModelData(editor, model, index);
}

#pragma once

#include "datasource/NVSCGDataSourceColumn.h"

#include <QFrame>

class NVSCGDataSource;
class NVSCGDataSourceTokenField;
class QLabel;
class QListWidget;
class QPushButton;

/// Edits one custom column's format: literal text and tokens of other columns, with the first
/// row's result below. A tool window rather than a popup, so that a click on the table (which
/// inserts that column's token) does not close it. Columns can also be inserted from its list
/// with the keyboard. Escape or Done closes it.
class ColumnFormatPopover : public QFrame {
    Q_OBJECT
  public:
    ColumnFormatPopover(NVSCGDataSource& dataSource, QWidget* parent);

    NVSCGDataSourceColumnPtr columnBeingEdited() const { return m_column; }
    NVSCGDataSourceTokenField* tokenField() const { return m_tokenField; }
    QListWidget* columnList() const { return m_columnList; }
    /// Shows the popover for `column` with its top left at `globalPosition`.
    void showForColumn(const NVSCGDataSourceColumnPtr& column, const QPoint& globalPosition);
    /// Clicks on the table insert column tokens while this is true.
    /// Open on a column with the format field as its focus: clicks on the table's columns then
    /// insert column tokens. Once the focus moved on (Tab to Done), they select as usual.
    bool isEditingColumnFormat() const;
    /// Inserts a token for the column with that ID at the caret.
    void insertColumnToken(const QString& uniqueID);

  Q_SIGNALS:
    /// The user changed the edited column's format.
    void formatEdited(const NVSCGDataSourceColumnPtr& column, const QString& format);
    void closed();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void fillColumnList();
    void updatePreview();

    NVSCGDataSource& m_dataSource;
    NVSCGDataSourceColumnPtr m_column;
    QLabel* m_heading;
    NVSCGDataSourceTokenField* m_tokenField;
    QListWidget* m_columnList;
    QLabel* m_preview;
    QPushButton* m_done;
};

#pragma once

#include <QObject>

class NVSCGDataSource;
class NVSTableViewWithEditableHeaders;
class QAbstractItemModel;
class QUndoStack;

/// The editor's two tables over one model: the fixed one shows the row number and the active-row
/// mark, the scrolling one every column. They share one selection, scroll together, emphasise
/// their selection while either has the focus, and a column dragged in the scrolling table moves in
/// the document as one undoable step (the header follows the model).
class DataSourceTablePair : public QObject {
    Q_OBJECT
  public:
    static constexpr int RowHeight = 48;

    /// Sets both tables up over `model`; `parent` owns this.
    DataSourceTablePair(NVSTableViewWithEditableHeaders& fixed, NVSTableViewWithEditableHeaders& scrolling,
                        QAbstractItemModel& model, NVSCGDataSource& dataSource, QUndoStack& undoStack,
                        QObject* parent);

  private:
    void hideColumns();
    void syncEmphasis();

    NVSTableViewWithEditableHeaders& m_fixed;
    NVSTableViewWithEditableHeaders& m_scrolling;
    QAbstractItemModel& m_model;
};

#pragma once

#include <QSortFilterProxyModel>

class DataSourceTableModel;

/// The rows whose raw value in some column contains the filter text, case-sensitively (so
/// "abc" does not match "ABC"); every row while the text is empty.
class DataSourceFilterProxyModel : public QSortFilterProxyModel {
    Q_OBJECT
  public:
    explicit DataSourceFilterProxyModel(DataSourceTableModel& source, QObject* parent = nullptr);

    QString filterString() const { return m_filterString; }
    void setFilterString(const QString& text);

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

  private:
    DataSourceTableModel& m_source;
    QString m_filterString;
};

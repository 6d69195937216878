#pragma once

#include "datasource/NVSCGDataSourceColumn.h"
#include "datasource/NVSCGDataSourceNode.h"

#include <QAbstractTableModel>
#include <cstdint>
#include <vector>

class ImageThumbnailLoader;
class NVSCGDataSource;
class QUndoStack;

/// A data source's rows as a table: the row number, the active-row mark, then one column per
/// data-source column. Cell texts are computed once per refresh, for the rows a view asks for, and
/// kept for the ones seen last; a refresh compares those and announces only the rows that changed,
/// so views keep their selection, scroll position and open editors. A new XPath resets the model.
/// Renaming a column in the header is an undoable step when an undo stack is given.
class DataSourceTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { RowNumberColumn = 0, RowSelectionColumn = 1, FirstDataColumn = 2 };
    enum Role {
        /// The cell's value ignoring the column's format, as the filter compares it.
        RawValueRole = Qt::UserRole + 1,
        /// Header: the column's permanent ID.
        ColumnUniqueIDRole,
        /// Header: the column's type (0 text, 1 image, 2 color).
        ColumnTypeRole,
    };
    /// Cached rows kept at most (the rows on screen are a few dozen).
    static constexpr std::size_t CachedRowLimit = 1024;

    explicit DataSourceTableModel(NVSCGDataSource& dataSource, QUndoStack* undoStack = nullptr,
                                  QObject* parent = nullptr);
    ~DataSourceTableModel() override;

    /// A cell's text (`raw`: ignoring the format). A custom column without a format reads
    /// nothing: asking the feed for an empty path would only log a complaint per row.
    static QString cellValue(const NVSCGDataSourceNode& node, const NVSCGDataSourceColumn& column, bool raw);

    NVSCGDataSource& dataSource() const { return m_dataSource; }
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// The data-source column shown in a model column (null for the first two).
    NVSCGDataSourceColumnPtr dataSourceColumn(int modelColumn) const;
    int modelColumnOf(const QString& uniqueID) const;
    NVSCGDataSourceNodePtr rowNode(int row) const;
    /// Whether some column's raw value of the row contains `text` (case-sensitive); an empty
    /// text matches every row.
    bool rowContains(int row, const QString& text) const;
    /// Forgets the thumbnails, so image cells read their files again.
    void reloadImages();

    /// How many cells were computed: views repaint far more often than values change.
    std::uint64_t computedCellCount() const { return m_computedCells; }

  Q_SIGNALS:
    /// The rows were replaced by a refresh in place: row filters must look at them again.
    void rowsRefreshed();

  private:
    struct RowCache {
        std::vector<QString> display;
        std::vector<QString> raw;
        std::uint64_t lastUse = 0;
    };

    const QString& cellText(int row, std::size_t dataColumn) const;
    /// The file an image cell names.
    QString imageFile(const QString& cell) const;
    const std::vector<QString>& computeRow(int row) const;
    void evictOldRows() const;
    void syncRows();
    void syncColumns();
    void watchColumn(const NVSCGDataSourceColumnPtr& column);
    void cellsChanged();
    void announceRows(const std::vector<int>& rows, int firstColumn, int lastColumn,
                      const QList<int>& roles = {});

    NVSCGDataSource& m_dataSource;
    QUndoStack* m_undoStack;
    ImageThumbnailLoader* m_thumbnails;
    std::vector<NVSCGDataSourceNodePtr> m_rows;
    std::vector<NVSCGDataSourceColumnPtr> m_columns;
    QString m_XPath;
    mutable std::vector<RowCache> m_cache;
    mutable std::size_t m_cachedRows = 0;
    mutable std::uint64_t m_clock = 0;
    mutable std::uint64_t m_computedCells = 0;
};

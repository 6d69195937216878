#pragma once

#include "datasource/NVSCGDataSourceColumn.h"

#include <QUndoCommand>
#include <QUrl>
#include <functional>
#include <vector>

class NVSCGDataSource;

/// The undoable edits of a data source's columns. Columns are found by their permanent
/// `uniqueID`, so a step stays right after other steps removed and restored the column; a
/// removed column comes back as the same column (same ID, so formats that refer to it still do).
namespace DataSourceEditCommands {

/// A column's title, type or format. Typing in a format merges into one step per column.
class SetColumnProperty : public QUndoCommand {
  public:
    enum Property { Title, Type, Format };
    SetColumnProperty(NVSCGDataSource& dataSource, const NVSCGDataSourceColumn& column, Property property,
                      QVariant value);
    void redo() override;
    void undo() override;
    int id() const override;
    bool mergeWith(const QUndoCommand* other) override;

  private:
    void apply(const QVariant& value);

    NVSCGDataSource& m_dataSource;
    QString m_uniqueID;
    Property m_property;
    QVariant m_old;
    QVariant m_new;
};

/// Puts a column into the list: one made by `make` on the first run (a new custom column, a
/// duplicate, a column for a checked element), the same one after an undo.
class InsertColumn : public QUndoCommand {
  public:
    /// `make` adds the column to the data source and returns it (null: nothing was added).
    InsertColumn(NVSCGDataSource& dataSource, const QString& text,
                 std::function<NVSCGDataSourceColumnPtr()> make);
    void redo() override;
    void undo() override;
    NVSCGDataSourceColumnPtr column() const { return m_column; }

  private:
    NVSCGDataSource& m_dataSource;
    std::function<NVSCGDataSourceColumnPtr()> m_make;
    NVSCGDataSourceColumnPtr m_column;
    std::size_t m_index = 0;
};

class RemoveColumn : public QUndoCommand {
  public:
    RemoveColumn(NVSCGDataSource& dataSource, const NVSCGDataSourceColumnPtr& column);
    void redo() override;
    void undo() override;

  private:
    NVSCGDataSource& m_dataSource;
    NVSCGDataSourceColumnPtr m_column;
    std::size_t m_index = 0;
};

class ReorderColumn : public QUndoCommand {
  public:
    ReorderColumn(NVSCGDataSource& dataSource, std::size_t from, std::size_t to);
    void redo() override;
    void undo() override;

  private:
    NVSCGDataSource& m_dataSource;
    std::size_t m_from;
    std::size_t m_to;
};

} // namespace DataSourceEditCommands

namespace DataSourceEditCommands {

/// Where the rows come from and which columns show: what the settings sheet changes.
struct Settings {
    QUrl dataSourceURL;
    QString XPath;
    std::vector<NVSCGDataSourceColumnPtr> columns;

    static Settings of(const NVSCGDataSource& dataSource);
    /// Puts these settings back; a changed URL is read again.
    void restore(NVSCGDataSource& dataSource) const;
    bool operator==(const Settings& other) const = default;
};

/// The settings sheet's changes as one step: made after they were applied, so the first run
/// changes nothing.
class ChangeSettings : public QUndoCommand {
  public:
    ChangeSettings(NVSCGDataSource& dataSource, Settings before);
    void redo() override;
    void undo() override;

  private:
    NVSCGDataSource& m_dataSource;
    Settings m_before;
    Settings m_after;
    bool m_applied = true;
};

} // namespace DataSourceEditCommands

#pragma once

#include "datasource/NVSCGDataSourceNode.h"

#include <QAbstractItemModel>
#include <QSet>
#include <memory>
#include <vector>

class NVSCGDataSource;
class NVSCGDataSourceNodeNotifier;
class QUndoStack;

/// The fetched content of a data source as a tree (title and value), with a check box on every
/// element a column can read: ticking adds the column for the element's row-relative path,
/// unticking removes it, each as an undoable step when an undo stack is given. Items are made as
/// their parents are opened, so a large feed costs only what is looked at.
class DataSourceContentTreeModel : public QAbstractItemModel {
    Q_OBJECT
  public:
    enum Column { TitleColumn = 0, ValueColumn = 1 };
    enum Role { XPathRole = Qt::UserRole + 1 };

    explicit DataSourceContentTreeModel(NVSCGDataSource& dataSource, QUndoStack* undoStack = nullptr,
                                        QObject* parent = nullptr);
    ~DataSourceContentTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    NVSCGDataSourceNode* node(const QModelIndex& index) const;
    /// How many nodes the content has (each counted once), for deciding how much to open.
    std::size_t nodeCount() const { return m_nodeCount; }

  private:
    struct Item;
    Item* item(const QModelIndex& index) const;
    const std::vector<std::unique_ptr<Item>>& childrenOf(Item* parent) const;
    void rebuild();
    void toggle(NVSCGDataSourceNode& node, bool on);

    NVSCGDataSource& m_dataSource;
    QUndoStack* m_undoStack;
    std::vector<NVSCGDataSourceNodePtr> m_roots;
    std::unique_ptr<Item> m_invisibleRoot;
    std::size_t m_nodeCount = 0;
    mutable QSet<NVSCGDataSourceNodeNotifier*> m_watched;
};

#pragma once

#include "cglink/CGProjectItem.h"

#include <QList>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>

/// The ordered item list of a project, with the lock that guards it. Copies of a project share
/// the same list object.
class CGProjectItemList {
  public:
    QList<std::shared_ptr<CGProjectItem>> items() const;
    void append(std::shared_ptr<CGProjectItem> item);
    /// The first item, in server order, that `predicate` accepts; the walk holds the lock.
    template <typename Predicate> std::shared_ptr<CGProjectItem> findFirst(Predicate predicate) const {
        std::lock_guard lock(m_mutex);
        for (const auto& item : m_items)
            if (predicate(*item))
                return item;
        return nullptr;
    }

  private:
    mutable std::recursive_mutex m_mutex;
    QList<std::shared_ptr<CGProjectItem>> m_items;
};

/// A graphics project of the CG server: its display name, identifier and items.
class CGProject {
  public:
    CGProject();
    /// Decodes a listing record (see CGProjectItem::fromDictionary for the key rules); the items
    /// list starts empty. Empty on failure.
    static std::shared_ptr<CGProject> fromDictionary(const platform::JsonValue& record, qint32 serverType);
    /// A new project with copies of name and identifier that shares this project's item list and
    /// selected item.
    std::shared_ptr<CGProject> copy() const;

    std::shared_ptr<CGProjectItem> itemWithUniqueID(const QString& uniqueID) const;
    std::shared_ptr<CGProjectItem> itemWithName(const QString& name) const;

    std::optional<QString> name() const;
    void setName(const std::optional<QString>& name);
    std::optional<QString> uniqueID() const;
    void setUniqueID(const std::optional<QString>& uniqueID);
    /// A snapshot of the items in server order.
    QList<std::shared_ptr<CGProjectItem>> items() const;
    std::shared_ptr<CGProjectItemList> itemList() const;
    void setItemList(std::shared_ptr<CGProjectItemList> list);
    qint32 CGServerType() const;
    void setCGServerType(qint32 serverType);
    std::shared_ptr<CGProjectItem> selectedItem() const;
    void setSelectedItem(std::shared_ptr<CGProjectItem> item);

  private:
    mutable std::mutex m_mutex;
    std::optional<QString> m_name;
    std::optional<QString> m_uniqueID;
    std::shared_ptr<CGProjectItemList> m_items;
    qint32 m_CGServerType = 0;
    std::shared_ptr<CGProjectItem> m_selectedItem;
};

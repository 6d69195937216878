#include "cglink/CGProject.h"

#include "cglink/CGRecordKeys.h"

QList<std::shared_ptr<CGProjectItem>> CGProjectItemList::items() const {
    std::lock_guard lock(m_mutex);
    return m_items;
}

void CGProjectItemList::append(std::shared_ptr<CGProjectItem> item) {
    std::lock_guard lock(m_mutex);
    m_items.append(std::move(item));
}

CGProject::CGProject() : m_items(std::make_shared<CGProjectItemList>()) {}

std::shared_ptr<CGProject> CGProject::fromDictionary(const platform::JsonValue& record, qint32 serverType) {
    auto project = std::make_shared<CGProject>();
    project->setCGServerType(serverType);
    const CGRecordKeys keys(serverType);
    const auto name = keys.requiredString(record, keys.displayName);
    const auto uniqueID = keys.requiredString(record, keys.uniqueID);
    if (!name || !uniqueID)
        return nullptr;
    project->setName(name);
    project->setUniqueID(uniqueID);
    return project;
}

std::shared_ptr<CGProject> CGProject::copy() const {
    auto project = std::make_shared<CGProject>();
    std::lock_guard lock(m_mutex);
    project->m_name = m_name;
    project->m_uniqueID = m_uniqueID;
    project->m_items = m_items;
    project->m_selectedItem = m_selectedItem;
    return project;
}

std::shared_ptr<CGProjectItem> CGProject::itemWithUniqueID(const QString& uniqueID) const {
    return itemList()->findFirst([&](const CGProjectItem& item) { return item.uniqueID() == uniqueID; });
}

std::shared_ptr<CGProjectItem> CGProject::itemWithName(const QString& name) const {
    return itemList()->findFirst([&](const CGProjectItem& item) { return item.name() == name; });
}

std::optional<QString> CGProject::name() const {
    std::lock_guard lock(m_mutex);
    return m_name;
}

void CGProject::setName(const std::optional<QString>& name) {
    std::lock_guard lock(m_mutex);
    m_name = name;
}

std::optional<QString> CGProject::uniqueID() const {
    std::lock_guard lock(m_mutex);
    return m_uniqueID;
}

void CGProject::setUniqueID(const std::optional<QString>& uniqueID) {
    std::lock_guard lock(m_mutex);
    m_uniqueID = uniqueID;
}

QList<std::shared_ptr<CGProjectItem>> CGProject::items() const {
    return itemList()->items();
}

std::shared_ptr<CGProjectItemList> CGProject::itemList() const {
    std::lock_guard lock(m_mutex);
    return m_items;
}

void CGProject::setItemList(std::shared_ptr<CGProjectItemList> list) {
    std::lock_guard lock(m_mutex);
    m_items = list ? std::move(list) : std::make_shared<CGProjectItemList>();
}

qint32 CGProject::CGServerType() const {
    std::lock_guard lock(m_mutex);
    return m_CGServerType;
}

void CGProject::setCGServerType(qint32 serverType) {
    std::lock_guard lock(m_mutex);
    m_CGServerType = serverType;
}

std::shared_ptr<CGProjectItem> CGProject::selectedItem() const {
    std::lock_guard lock(m_mutex);
    return m_selectedItem;
}

void CGProject::setSelectedItem(std::shared_ptr<CGProjectItem> item) {
    std::lock_guard lock(m_mutex);
    m_selectedItem = std::move(item);
}

#include "cglink/CGProjectItem.h"

#include "cglink/CGRecordKeys.h"

#include <nlohmann/json.hpp>

std::shared_ptr<CGProjectItem> CGProjectItem::fromDictionary(const platform::JsonValue& record,
                                                             qint32 serverType) {
    auto item = std::make_shared<CGProjectItem>();
    item->setCGServerType(serverType);
    const CGRecordKeys keys(serverType);
    const auto name = keys.requiredString(record, keys.displayName);
    const auto uniqueID = keys.requiredString(record, keys.uniqueID);
    const auto type = keys.requiredString(record, QStringLiteral("type"));
    if (!name || !uniqueID || !type)
        return nullptr;
    item->setName(name);
    item->setUniqueID(uniqueID);
    item->setItemType(type);
    return item;
}

std::shared_ptr<CGProjectItem> CGProjectItem::copy() const {
    auto item = std::make_shared<CGProjectItem>();
    std::lock_guard lock(m_mutex);
    item->m_name = m_name;
    item->m_uniqueID = m_uniqueID;
    item->m_itemType = m_itemType;
    return item;
}

std::optional<QString> CGProjectItem::name() const {
    std::lock_guard lock(m_mutex);
    return m_name;
}

void CGProjectItem::setName(const std::optional<QString>& value) {
    std::lock_guard lock(m_mutex);
    m_name = value;
}

std::optional<QString> CGProjectItem::uniqueID() const {
    std::lock_guard lock(m_mutex);
    return m_uniqueID;
}

void CGProjectItem::setUniqueID(const std::optional<QString>& value) {
    std::lock_guard lock(m_mutex);
    m_uniqueID = value;
}

std::optional<QString> CGProjectItem::itemType() const {
    std::lock_guard lock(m_mutex);
    return m_itemType;
}

void CGProjectItem::setItemType(const std::optional<QString>& value) {
    std::lock_guard lock(m_mutex);
    m_itemType = value;
}

qint32 CGProjectItem::CGServerType() const {
    std::lock_guard lock(m_mutex);
    return m_CGServerType;
}

void CGProjectItem::setCGServerType(qint32 serverType) {
    std::lock_guard lock(m_mutex);
    m_CGServerType = serverType;
}

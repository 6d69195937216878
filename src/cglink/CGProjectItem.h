#pragma once

#include "platform/Json.h"

#include <QString>
#include <memory>
#include <mutex>
#include <optional>

/// One replaceable field of a CG project (text, HTML or media), as the server lists it.
/// Properties are read and written atomically from any thread.
class CGProjectItem {
  public:
    CGProjectItem() = default;
    /// Decodes a listing record: snake-case keys for server type 2, camel case otherwise; every
    /// value must be a string of at least 3 characters. Empty on failure.
    static std::shared_ptr<CGProjectItem> fromDictionary(const platform::JsonValue& record,
                                                         qint32 serverType);
    /// A new item with copies of name, identifier and type.
    std::shared_ptr<CGProjectItem> copy() const;

    std::optional<QString> name() const;
    void setName(const std::optional<QString>& value);
    std::optional<QString> uniqueID() const;
    void setUniqueID(const std::optional<QString>& uniqueID);
    std::optional<QString> itemType() const;
    void setItemType(const std::optional<QString>& itemType);
    qint32 CGServerType() const;
    void setCGServerType(qint32 serverType);

  private:
    mutable std::mutex m_mutex;
    std::optional<QString> m_name;
    std::optional<QString> m_uniqueID;
    std::optional<QString> m_itemType;
    qint32 m_CGServerType = 0;
};

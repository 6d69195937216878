#pragma once

#include "platform/Json.h"

#include <QString>
#include <optional>

/// The spelling of listing-record keys for one API generation: snake case for server type 2,
/// camel case for every other type.
class CGRecordKeys {
  public:
    static constexpr int MinimumLength = 3;

    explicit CGRecordKeys(qint32 serverType);

    /// The record's string under `key` when it has at least three characters.
    std::optional<QString> requiredString(const platform::JsonValue& record, const QString& key) const;

    QString displayName;
    QString uniqueID;
};

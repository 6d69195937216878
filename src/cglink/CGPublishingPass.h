#pragma once

#include "platform/Json.h"

#include <QList>
#include <QString>
#include <nlohmann/json.hpp>

/// One value of a publishing pass: the item is looked up by name when the pass is sent, in the
/// project list current at that moment.
struct CGTextUpdate {
    QString projectName;
    QString itemName;
    platform::JsonValue value;
    bool isHTML = false;
};
using CGPublishingPass = QList<CGTextUpdate>;

enum class CGPublishingPassKind {
    Full,        ///< every value is sent
    ChangesOnly, ///< a value the server already accepted for that item is not sent again
};

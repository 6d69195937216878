#include "platform/Uuid.h"

#include <QUuid>

namespace platform {

QString Uuid::createString() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace platform

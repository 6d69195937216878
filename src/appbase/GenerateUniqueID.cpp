#include "appbase/GenerateUniqueID.h"

#include "platform/Uuid.h"

QString GenerateUniqueID::generateUniqueID() {
    return platform::Uuid::createString();
}

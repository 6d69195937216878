#include "platform/SharedLibrary.h"

#include <QFileInfo>

namespace platform {

QString SharedLibrary::folderOfProjectLibraries() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&SharedLibrary::folderOfProjectLibraries), &info) == 0 ||
        !info.dli_fname)
        return QString();
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
}

} // namespace platform

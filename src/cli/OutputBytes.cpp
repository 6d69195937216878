#include "cli/OutputBytes.h"

#include <QFileDevice>

namespace cli {

void writeBytes(QTextStream& out, QByteArray& bytes) {
    if (QIODevice* device = out.device()) {
        out.flush();
        device->write(bytes);
        if (auto* file = qobject_cast<QFileDevice*>(device))
            file->flush();
    } else {
        out << QString::fromUtf8(bytes);
    }
    bytes.clear();
}

} // namespace cli

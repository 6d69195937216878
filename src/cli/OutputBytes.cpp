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
    bytes.resize(0); // keeps the reservation for the next piece
}

QByteArray emptyOutputPiece() {
    QByteArray piece;
    piece.reserve(OutputPieceSize + 4096);
    return piece;
}

void writeBytesWhenFull(QTextStream& out, QByteArray& piece) {
    if (piece.size() >= OutputPieceSize)
        writeBytes(out, piece);
}

} // namespace cli

#include "platform/ConsoleWriterDevice.h"

#include "platform/ConsoleWriter.h"

namespace platform {

ConsoleWriterDevice::ConsoleWriterDevice(ConsoleWriter& writer, QObject* parent)
    : QIODevice(parent), m_writer(writer) {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 ConsoleWriterDevice::readData(char*, qint64) {
    return -1;
}

qint64 ConsoleWriterDevice::writeData(const char* data, qint64 size) {
    m_writer.write(QByteArray(data, static_cast<qsizetype>(size)));
    return size;
}

} // namespace platform

#pragma once

#include <QIODevice>

namespace platform {

class ConsoleWriter;

/// A write-only device over a ConsoleWriter, so that a QTextStream can write to it: every flush
/// of the stream reaches the writer as one text. The device itself belongs to one thread; other
/// threads write to the ConsoleWriter directly.
class ConsoleWriterDevice : public QIODevice {
  public:
    explicit ConsoleWriterDevice(ConsoleWriter& writer, QObject* parent = nullptr);

  protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

  private:
    ConsoleWriter& m_writer;
};

} // namespace platform

#pragma once

#include <QString>
#include <QTemporaryDir>

namespace testing_support {

/// Sends everything written to file descriptor 2 (the console log included) into a temporary
/// file while alive.
class StderrCapture {
  public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    /// Everything written so far.
    QString text() const;

  private:
    QTemporaryDir m_dir;
    QString m_path;
    int m_savedFd = -1;
};

} // namespace testing_support

#pragma once

#include <QString>
#include <QTemporaryDir>

namespace testing_support {

/// Collects what is written to stderr (file descriptor 2, where libraries and the console log
/// write) while it lives.
class StderrCapture {
  public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    /// Everything written so far.
    QString text() const;

  private:
    int m_savedFd = -1;
    QTemporaryDir m_dir;
    QString m_path;
};

} // namespace testing_support

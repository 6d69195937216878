#include "testkit/StderrCapture.h"

#include "testkit/TestHelpers.h"

#include <QFile>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace testing_support {

StderrCapture::StderrCapture() : m_path(m_dir.filePath(u"stderr.txt"_s)) {
    std::fflush(stderr);
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    m_savedFd = ::dup(STDERR_FILENO);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
}

StderrCapture::~StderrCapture() {
    std::fflush(stderr);
    ::dup2(m_savedFd, STDERR_FILENO);
    ::close(m_savedFd);
}

QString StderrCapture::text() const {
    return QString::fromUtf8(readFile(m_path));
}

} // namespace testing_support

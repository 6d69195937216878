#include "DataSourceTestSupport.h"

#include "datasource/NVSCGDataSource.h"
#include "platform/MainQueue.h"

#include <QFile>
#include <fcntl.h>
#include <unistd.h>

namespace datasource_test {

StderrCapture::StderrCapture() {
    m_path = m_dir.filePath(QStringLiteral("stderr.txt"));
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    m_savedFd = ::dup(STDERR_FILENO);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
}

StderrCapture::~StderrCapture() {
    ::dup2(m_savedFd, STDERR_FILENO);
    ::close(m_savedFd);
}

QString StderrCapture::text() const {
    return QString::fromUtf8(testing_support::readFile(m_path));
}

QByteArray electionFeed(int races, int candidates) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<feed>\n  <title>Results</title>\n";
    for (int r = 1; r <= races; ++r) {
        xml += "  <race>\n    <Name>Race " + QByteArray::number(r) + "</Name>\n    <State>S" + QByteArray::number(r) +
               "</State>\n";
        for (int c = 1; c <= candidates; ++c) {
            xml += "    <candidate><Last>L" + QByteArray::number(r) + "_" + QByteArray::number(c) +
                   "</Last><Votes>" + QByteArray::number(r * 100 + c) + "</Votes></candidate>\n";
        }
        xml += "  </race>\n";
    }
    xml += "</feed>\n";
    return xml;
}

void drainMainQueue() {
    bool done = false;
    platform::MainQueue::dispatchAsync([&done] { done = true; });
    testing_support::waitUntil([&] { return done; });
}

bool waitForRefresh(NVSCGDataSource& dataSource, int refreshEndsBefore) {
    int ended = 0;
    const auto connection = QObject::connect(&dataSource, &NVSCGDataSource::refreshEnded, [&](bool) { ++ended; });
    const bool ok = testing_support::waitUntil([&] { return ended > refreshEndsBefore; }, std::chrono::seconds(15));
    QObject::disconnect(connection);
    drainMainQueue();
    return ok;
}

} // namespace datasource_test

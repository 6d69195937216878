#pragma once

#include "support/TestHelpers.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class NVSCGDataSource;

namespace datasource_test {

/// Collects what is written to stderr (the library's console log) while it lives.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    /// Everything written so far.
    QString text() const;

private:
    int m_savedFd = -1;
    QTemporaryDir m_dir;
    QString m_path;
};

/// An election feed with `races` races of `candidates` candidates under <feed>.
QByteArray electionFeed(int races, int candidates = 2);

/// Waits (running the event loop) until a refresh ended and everything it queued on the main
/// thread has run. Returns whether it ended in time.
bool waitForRefresh(NVSCGDataSource& dataSource, int refreshEndsBefore = 0);

/// Runs everything the main thread has queued so far.
void drainMainQueue();

} // namespace datasource_test

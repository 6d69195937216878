#pragma once

#include "testkit/StderrCapture.h"
#include "testkit/TestHelpers.h"

#include <QByteArray>

class NVSCGDataSource;

namespace datasource_test {

using testing_support::StderrCapture;

/// An election feed with `races` races of `candidates` candidates under <feed>.
QByteArray electionFeed(int races, int candidates = 2);

/// Waits (running the event loop) until a refresh ended and everything it queued on the main
/// thread has run. Returns whether it ended in time.
bool waitForRefresh(NVSCGDataSource& dataSource);

/// Runs everything the main thread has queued so far.
void drainMainQueue();

} // namespace datasource_test

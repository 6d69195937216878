#include "DataSourceTestSupport.h"

#include "datasource/NVSCGDataSource.h"
#include "platform/MainQueue.h"

namespace datasource_test {

QByteArray electionFeed(int races, int candidates) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<feed>\n  <title>Results</title>\n";
    for (int r = 1; r <= races; ++r) {
        xml += "  <race>\n    <Name>Race " + QByteArray::number(r) + "</Name>\n    <State>S" +
               QByteArray::number(r) + "</State>\n";
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

bool waitForRefresh(NVSCGDataSource& dataSource) {
    int ended = 0;
    const auto connection =
        QObject::connect(&dataSource, &NVSCGDataSource::refreshEnded, [&](bool) { ++ended; });
    const bool ok = testing_support::waitUntil([&] { return ended > 0; }, std::chrono::seconds(15));
    QObject::disconnect(connection);
    drainMainQueue();
    return ok;
}

} // namespace datasource_test

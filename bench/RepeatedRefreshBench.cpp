// Refreshes inside a long-running process, as `graflink-cli run` and `datasource watch` make
// them: one document (1,000 variables) or data source (17 columns) refreshing the election feed
// from a loopback server 100 times. Each iteration is one refresh; the counters give the first
// refresh's time and the resident memory before, after the first and after every later refresh
// (once the feed it replaced is freed), so that growth from one refresh to the next shows.
#include "ElectionFeed.h"
#include "app/GraflinkDocument.h"
#include "datasource/NVSCGDataSource.h"
#include "platform/BackgroundRelease.h"
#include "testkit/LoopbackHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <unistd.h>

namespace {

using testing_support::LoopbackHttpServer;

constexpr int Refreshes = 100;

double residentMB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / 1048576.0 : 0;
}

void runMainUntil(const std::function<bool()>& done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

LoopbackHttpServer& feedServer() {
    static LoopbackHttpServer* server = [] {
        auto* s = new LoopbackHttpServer;
        s->serve("/election.xml", LoopbackHttpServer::Reply::text(ElectionFeed::xml(), "application/xml"));
        s->serve("/election.json", LoopbackHttpServer::Reply::text(ElectionFeed::json(), "application/json"));
        return s;
    }();
    return *server;
}

/// Times each refresh into the benchmark and records memory around them.
class RefreshSeries {
  public:
    explicit RefreshSeries(benchmark::State& state) : m_state(state), m_before(residentMB()) {}

    template <typename Refresh> void run(Refresh&& refresh) {
        QElapsedTimer timer;
        timer.start();
        refresh();
        m_first = double(timer.nsecsElapsed()) / 1e6;
        m_afterFirst = settledMB();
        for (auto _ : m_state) {
            timer.restart();
            refresh();
            m_state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
            m_after.push_back(settledMB());
        }
    }

    ~RefreshSeries() {
        m_state.counters["first_ms"] = m_first;
        m_state.counters["rss_before_MB"] = m_before;
        m_state.counters["rss_after_first_MB"] = m_afterFirst;
        if (!m_after.empty()) {
            m_state.counters["rss_after_max_MB"] = *std::max_element(m_after.begin(), m_after.end());
            m_state.counters["rss_after_last_MB"] = m_after.back();
            // Growth over the second half of the series: zero when every refresh gives back what it took.
            m_state.counters["rss_growth_MB"] = m_after.back() - m_after[m_after.size() / 2];
        }
    }

  private:
    // Resident memory once the replaced feed has been freed (by the release thread).
    static double settledMB() {
        platform::BackgroundRelease::drain();
        return residentMB();
    }

    benchmark::State& m_state;
    double m_before;
    double m_first = 0;
    double m_afterFirst = 0;
    std::vector<double> m_after;
};

void DocumentRefresh(benchmark::State& state, const char* path, bool json) {
    GraflinkDocument document;
    QList<QVariantMap> variables;
    for (const ElectionFeed::VariablePath& p : ElectionFeed::variablePaths())
        variables.append(
            {{QStringLiteral("XPath"), json ? p.keyPath : p.xpath}, {QStringLiteral("valueType"), 0}});
    document.loadVariablesFromDictionaries(variables);
    const QString url = feedServer().url(QString::fromLatin1(path)).toString();
    RefreshSeries series(state);
    bool first = true;
    series.run([&] {
        // Setting the address starts the first refresh, as opening a document does.
        if (std::exchange(first, false))
            document.setSourceURLString(url);
        else
            document.refresh();
        runMainUntil([&] { return !document.isRefreshing(); });
        if (document.lastRefreshDelivered() != true)
            state.SkipWithError("the refresh delivered no feed");
    });
}

void DataSourceRefresh(benchmark::State& state) {
    const QString rows = QStringLiteral("/ElectionResults/Race[*]");
    NVSCGDataSource dataSource;
    dataSource.setXPath(rows);
    for (const char* field :
         {"RaceID", "Office", "State", "Seat", "PrecinctsReporting", "PrecinctsTotal", "LastUpdated"})
        dataSource.addColumnWithTitle(QString::fromLatin1(field),
                                      rows + QLatin1Char('/') + QString::fromLatin1(field));
    for (int c = 1; c <= 5; ++c) {
        dataSource.addColumnWithTitle(QStringLiteral("Last %1").arg(c),
                                      rows + QStringLiteral("/Candidate[%1]/Last").arg(c));
        dataSource.addColumnWithTitle(QStringLiteral("Votes %1").arg(c),
                                      rows + QStringLiteral("/Candidate[%1]/Votes").arg(c));
    }
    bool ended = false;
    QObject::connect(&dataSource, &NVSCGDataSource::refreshEnded, [&](bool) { ended = true; });
    RefreshSeries series(state);
    bool first = true;
    series.run([&] {
        ended = false;
        if (std::exchange(first, false))
            dataSource.setDataSourceURL(feedServer().url(QStringLiteral("/election.xml")));
        dataSource.refreshContent();
        runMainUntil(
            [&] { return ended && dataSource.countOfContentNodes() == std::size_t(ElectionFeed::Races); });
    });
    dataSource.close();
}

BENCHMARK_CAPTURE(DocumentRefresh, Xml, "/election.xml", false)
    ->Iterations(Refreshes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DocumentRefresh, Json, "/election.json", true)
    ->Iterations(Refreshes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(DataSourceRefresh)->Iterations(Refreshes)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // User defaults and the technical log go to a folder of their own, not the user's.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_STATE_HOME", home.filePath(QStringLiteral("state")).toUtf8());
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    feedServer();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

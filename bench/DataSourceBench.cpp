// Data source on a ~10 MB election feed (5,000 races x 6 candidates, 20 columns): open and
// refresh, then compute every cell; the lxml peer does the same in the same run.
#include "datasource/NVSCGDataSource.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

constexpr int Races = 5000;
constexpr int Candidates = 6;

QByteArray generateFeed() {
    static const char* const offices[] = {"U.S. House of Representatives", "State Senate", "Governor",
                                          "Attorney General"};
    static const char* const parties[] = {"Democratic", "Republican",  "Libertarian",
                                          "Green",      "Independent", "Constitution"};
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ElectionResults>\n";
    xml.reserve(11 * 1024 * 1024);
    for (int r = 0; r < Races; ++r) {
        const QByteArray n = QByteArray::number(r);
        xml += "  <Race>\n    <RaceID>" + QByteArray::number(100000 + r) + "</RaceID>\n    <Office>" +
               offices[r % 4] + "</Office>\n    <State>State number " + QByteArray::number(r % 50) +
               "</State>\n    <Seat>District " + n + "</Seat>\n    <PrecinctsReporting>" +
               QByteArray::number(r % 700) +
               "</PrecinctsReporting>\n"
               "    <PrecinctsTotal>700</PrecinctsTotal>\n    <LastUpdated>2026-11-03T22:" +
               QByteArray::number(10 + r % 50) + ":00Z</LastUpdated>\n";
        for (int c = 0; c < Candidates; ++c) {
            const QByteArray id = n + "-" + QByteArray::number(c);
            xml += "    <Candidate>\n      <CandidateID>C" + id +
                   "</CandidateID>\n      <First>Alexandra</First>\n"
                   "      <Last>Montgomery-" +
                   id + "</Last>\n      <Party>" + parties[c] + "</Party>\n      <Votes>" +
                   QByteArray::number((r * 7919 + c * 104729) % 1000000) + "</Votes>\n      <Percent>" +
                   QByteArray::number(10 + (r + c) % 40) +
                   ".5</Percent>\n      <Incumbent>false</Incumbent>\n"
                   "      <Winner>false</Winner>\n    </Candidate>\n";
        }
        xml += "  </Race>\n";
    }
    xml += "</ElectionResults>\n";
    return xml;
}

struct Fixture {
    QTemporaryDir dir;
    QString feedPath;
    QString documentPath;
    QString peerLayoutPath;
    qint64 feedSize = 0;

    Fixture() {
        feedPath = dir.filePath(QStringLiteral("election.xml"));
        const QByteArray feed = generateFeed();
        feedSize = feed.size();
        QFile file(feedPath);
        file.open(QIODevice::WriteOnly);
        file.write(feed);
        file.close();

        const QString race = QStringLiteral("/ElectionResults/Race[*]");
        NVSCGDataSource dataSource;
        dataSource.setDataSourceURL(QUrl::fromLocalFile(feedPath));
        dataSource.setXPath(race);
        QJsonArray peerColumns;
        const QStringList raceFields{QStringLiteral("RaceID"),
                                     QStringLiteral("Office"),
                                     QStringLiteral("State"),
                                     QStringLiteral("Seat"),
                                     QStringLiteral("PrecinctsReporting"),
                                     QStringLiteral("PrecinctsTotal"),
                                     QStringLiteral("LastUpdated")};
        QStringList relatives = raceFields;
        for (int c = 1; c <= Candidates; ++c)
            relatives << QStringLiteral("Candidate[%1]/Last").arg(c)
                      << QStringLiteral("Candidate[%1]/Votes").arg(c);
        for (const QString& relative : relatives) {
            dataSource.addColumnWithTitle(relative, QString(race + QLatin1Char('/') + relative));
            peerColumns.append(QJsonObject{{QStringLiteral("relative"), relative}});
        }
        auto label = dataSource.addNewColumnAtIndex(dataSource.countOfColumns());
        label->setTitle(QStringLiteral("Label"));
        label->setFormat(QString(QStringLiteral("<#") + dataSource.columnAtIndex(1)->uniqueID() +
                                 QStringLiteral("!> - <#") + dataSource.columnAtIndex(3)->uniqueID() +
                                 QStringLiteral("!>")));
        peerColumns.append(QJsonObject{
            {QStringLiteral("format"), QJsonArray{QJsonArray{QStringLiteral("column"), 1},
                                                  QJsonArray{QStringLiteral("text"), QStringLiteral(" - ")},
                                                  QJsonArray{QStringLiteral("column"), 3}}}});
        documentPath = dir.filePath(QStringLiteral("election.cgds"));
        dataSource.saveToPath(documentPath, NVSCGDataSourceDocumentType);

        peerLayoutPath = dir.filePath(QStringLiteral("peer.json"));
        QFile layout(peerLayoutPath);
        layout.open(QIODevice::WriteOnly);
        layout.write(
            QJsonDocument(QJsonObject{{QStringLiteral("rows"), QStringLiteral("/ElectionResults/Race")},
                                      {QStringLiteral("columns"), peerColumns}})
                .toJson());
    }
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

void runMainUntil(const std::function<bool()>& done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

std::unique_ptr<NVSCGDataSource> openAndRefresh() {
    auto dataSource = std::make_unique<NVSCGDataSource>();
    bool ended = false;
    QObject::connect(dataSource.get(), &NVSCGDataSource::refreshEnded, [&](bool) { ended = true; });
    dataSource->readFromPath(fixture().documentPath, NVSCGDataSourceDocumentType);
    runMainUntil([&] { return ended; });
    QObject::disconnect(dataSource.get(), &NVSCGDataSource::refreshEnded, nullptr, nullptr);
    return dataSource;
}

qint64 computeAllCells(const NVSCGDataSource& dataSource) {
    qint64 checksum = 0;
    const auto columns = dataSource.columns();
    for (const NVSCGDataSourceNodePtr& row : dataSource.contentNodes()) {
        for (const NVSCGDataSourceColumnPtr& column : columns)
            checksum += row->stringValueForColum(*column).size();
    }
    return checksum;
}

void BM_DataSourceOpenAndRefresh(benchmark::State& state) {
    for (auto _ : state) {
        auto dataSource = openAndRefresh();
        if (dataSource->countOfContentNodes() != std::size_t(Races))
            state.SkipWithError("wrong row count");
        state.PauseTiming();
        dataSource.reset();
        state.ResumeTiming();
    }
    state.counters["feedMB"] = double(fixture().feedSize) / 1e6;
}
BENCHMARK(BM_DataSourceOpenAndRefresh)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

void BM_DataSourceComputeAllCells(benchmark::State& state) {
    auto dataSource = openAndRefresh();
    qint64 checksum = 0;
    for (auto _ : state)
        checksum = computeAllCells(*dataSource);
    state.counters["cells"] = double(dataSource->countOfContentNodes() * dataSource->countOfColumns());
    state.counters["checksum"] = double(checksum);
}
BENCHMARK(BM_DataSourceComputeAllCells)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

// The peer runs its own repetitions and reports medians; they are reported here as manual times.
QJsonObject peerResult() {
    static const QJsonObject result = [] {
        QProcess process;
        process.start(QStringLiteral("/usr/bin/python3"),
                      {QStringLiteral(GRAFLINK_BENCH_PEERS "/datasource_cells.py"), fixture().feedPath,
                       fixture().peerLayoutPath, QStringLiteral("5")});
        process.waitForFinished(600000);
        return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    }();
    return result;
}

void reportPeer(benchmark::State& state, const QString& key) {
    const QJsonObject peer = peerResult();
    if (peer.isEmpty()) {
        state.SkipWithError("the lxml peer did not run (python3-lxml missing?)");
        return;
    }
    for (auto _ : state)
        state.SetIterationTime(peer.value(key).toDouble());
    state.counters["cells"] = peer.value(QStringLiteral("cellCount")).toDouble();
    state.counters["checksum"] = peer.value(QStringLiteral("checksum")).toDouble();
    state.counters["peakRSS_MB"] = peer.value(QStringLiteral("peakRSS")).toDouble() / 1e6;
    state.counters["peakRSS_x_feed"] =
        peer.value(QStringLiteral("peakRSS")).toDouble() / double(fixture().feedSize);
}

void BM_PeerLxmlParseAndSelect(benchmark::State& state) {
    reportPeer(state, QStringLiteral("refresh"));
}
BENCHMARK(BM_PeerLxmlParseAndSelect)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_PeerLxmlComputeAllCells(benchmark::State& state) {
    reportPeer(state, QStringLiteral("cells"));
}
BENCHMARK(BM_PeerLxmlComputeAllCells)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// Last: this process's peak resident memory over everything above (one refreshed data source
// at a time; the generated feed text is in memory too).
void BM_DataSourcePeakMemory(benchmark::State& state) {
    for (auto _ : state) {
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peak = double(usage.ru_maxrss) * 1024;
    state.counters["peakRSS_MB"] = peak / 1e6;
    state.counters["peakRSS_x_feed"] = peak / double(fixture().feedSize);
}
BENCHMARK(BM_DataSourcePeakMemory)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    fixture();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

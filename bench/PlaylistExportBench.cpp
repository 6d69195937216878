// Playlist export of a refreshed data source (5,000 races x 6 candidates, 20 columns), against an
// lxml script writing the same playlist in the same run.
#include "datasource/NVSCGDataSource.h"
#include "export/NVSDataSourceExport.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int Races = 5000;
constexpr int Candidates = 6;

QByteArray generateFeed() {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Election>\n";
    xml.reserve(12 * 1024 * 1024);
    for (int r = 0; r < Races; ++r) {
        const QByteArray n = QByteArray::number(r);
        xml += "  <Race>\n    <RaceNumber>" + QByteArray::number(100000 + r) +
               "</RaceNumber>\n    <Name1>District " + n +
               " – State Senate</Name1>\n    <PrecinctsPercentage>" + QByteArray::number(r % 100) +
               "% reporting</PrecinctsPercentage>\n";
        for (int c = 1; c <= Candidates; ++c) {
            const QByteArray id = n + "-" + QByteArray::number(c);
            xml += "    <Candidate>\n      <Name>Alexandra Montgomery-" + id +
                   "</Name>\n      <FirstName>Alexandra</FirstName>\n"
                   "      <LastName>Montgomery-" +
                   id + "</LastName>\n      <Votes>" + QByteArray::number((r * 7919 + c * 104729) % 1000000) +
                   "</Votes>\n      <PercentageOfVotesCast>" + QByteArray::number(10 + (r + c) % 40) +
                   ".5</PercentageOfVotesCast>\n      <Winner>" + (c == 1 && r % 3 == 0 ? "W" : "") +
                   "</Winner>\n    </Candidate>\n";
        }
        xml += "  </Race>\n";
    }
    xml += "</Election>\n";
    return xml;
}

struct Fixture {
    QTemporaryDir dir;
    QString feedPath = dir.filePath(QStringLiteral("election.xml"));
    QString layoutPath = dir.filePath(QStringLiteral("columns.json"));
    platform::UserDefaults defaults{dir.filePath(QStringLiteral("defaults.conf"))};
    NVSCGDataSource dataSource;

    Fixture() {
        QFile feed(feedPath);
        feed.open(QIODevice::WriteOnly);
        feed.write(generateFeed());
        feed.close();
        NVSDataSourceExport::registerDefaults(defaults);

        const QString race = QStringLiteral("/Election/Race[*]");
        QStringList relatives{QStringLiteral("RaceNumber"), QStringLiteral("Name1"),
                              QStringLiteral("PrecinctsPercentage")};
        for (int c = 1; c <= Candidates; ++c)
            relatives << QStringLiteral("Candidate[%1]/LastName").arg(c)
                      << QStringLiteral("Candidate[%1]/Votes").arg(c);
        for (int c = 1; c <= 5; ++c)
            relatives << QStringLiteral("Candidate[%1]/Winner").arg(c);
        QJsonArray columns;
        for (const QString& relative : relatives) {
            dataSource.addColumnWithTitle(relative, QString(race + QLatin1Char('/') + relative));
            columns.append(
                QJsonObject{{QStringLiteral("title"), relative}, {QStringLiteral("relative"), relative}});
        }
        QFile layout(layoutPath);
        layout.open(QIODevice::WriteOnly);
        layout.write(QJsonDocument(QJsonObject{{QStringLiteral("rows"), QStringLiteral("/Election/Race")},
                                               {QStringLiteral("columns"), columns}})
                         .toJson());

        bool ended = false;
        QObject::connect(&dataSource, &NVSCGDataSource::refreshEnded, [&](bool) { ended = true; });
        dataSource.setXPath(race);
        dataSource.setDataSourceURL(QUrl::fromLocalFile(feedPath));
        dataSource.refreshContent();
        while (!ended || dataSource.countOfContentNodes() != std::size_t(Races))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

void BM_PlaylistExport(benchmark::State& state) {
    Fixture& f = fixture();
    const QString out = f.dir.filePath(QStringLiteral("ours.xpls"));
    for (auto _ : state) {
        if (!NVSDataSourceExport::exportDataSource(f.dataSource, QUrl::fromLocalFile(out), f.defaults,
                                                   nullptr))
            state.SkipWithError("export failed");
    }
    state.counters["rows"] = double(f.dataSource.countOfContentNodes());
    state.counters["bytes"] = double(QFileInfo(out).size());
}
BENCHMARK(BM_PlaylistExport)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

// The peer takes its own median of five; it is reported here as a manual time.
void BM_PeerLxmlPlaylistExport(benchmark::State& state) {
    Fixture& f = fixture();
    QProcess process;
    process.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral(GRAFLINK_BENCH_PEERS "/playlist_export.py"), f.feedPath,
                   f.dir.filePath(QStringLiteral("peer.xpls")), f.layoutPath, QStringLiteral("5")});
    process.waitForFinished(600000);
    const QJsonObject result = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    if (result.isEmpty()) {
        state.SkipWithError("the lxml peer did not run (python3-lxml missing?)");
        return;
    }
    for (auto _ : state)
        state.SetIterationTime(result.value(QStringLiteral("export")).toDouble());
    state.counters["bytes"] = result.value(QStringLiteral("bytes")).toDouble();
}
BENCHMARK(BM_PeerLxmlPlaylistExport)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace

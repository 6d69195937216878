// The data-source editor's table model on the election feed (5,000 races, 20 columns): every
// cell once (a scroll through all rows), a repaint of the rows on screen, and a refresh that
// changes 10 rows (the model's own work, timed from the new rows to the rows announced).
#include "ElectionFeed.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/ui/DataSourceTableModel.h"
#include "platform/MainQueue.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>

namespace {

constexpr int VisibleRows = 20;

struct Fixture {
    QTemporaryDir dir;
    QString original;
    QString changed;
    NVSCGDataSource dataSource;

    Fixture() {
        const QByteArray feed = ElectionFeed::xml();
        original = write(QStringLiteral("election.xml"), feed);
        QByteArray edited = feed;
        for (int race = 100; race < 1100; race += 100) {
            const QByteArray seat = "<Seat>District " + QByteArray::number(race) + "<";
            edited.replace(seat, QByteArray("<Seat>Recount " + QByteArray::number(race) + "<"));
        }
        changed = write(QStringLiteral("election-changed.xml"), edited);
        dataSource.setXPath(QStringLiteral("/ElectionResults/Race[*]"));
        for (const char* field :
             {"RaceID", "Office", "State", "Seat", "PrecinctsReporting", "PrecinctsTotal", "LastUpdated"})
            dataSource.addColumnWithTitle(QString::fromLatin1(field),
                                          QStringLiteral("/ElectionResults/Race[*]/") +
                                              QString::fromLatin1(field));
        for (int c = 1; c <= 6; ++c) {
            for (const char* field : {"Last", "Votes"})
                dataSource.addColumnWithTitle(QStringLiteral("%1 %2").arg(QString::fromLatin1(field)).arg(c),
                                              QStringLiteral("/ElectionResults/Race[*]/Candidate[%1]/%2")
                                                  .arg(c)
                                                  .arg(QString::fromLatin1(field)));
        }
        NVSCGDataSourceColumnPtr custom = dataSource.addNewColumnAtIndex(dataSource.countOfColumns());
        custom->setFormat(QStringLiteral("<#") + dataSource.columnAtIndex(3)->uniqueID() +
                          QStringLiteral("!> (") + QStringLiteral("<#") +
                          dataSource.columnAtIndex(2)->uniqueID() + QStringLiteral("!>)"));
        refreshFrom(original);
    }

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }

    void refreshFrom(const QString& path) {
        bool ended = false;
        const auto connection =
            QObject::connect(&dataSource, &NVSCGDataSource::refreshEnded, [&](bool) { ended = true; });
        dataSource.setDataSourceURL(QUrl::fromLocalFile(path));
        dataSource.refreshContent();
        while (!ended)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QObject::disconnect(connection);
        bool drained = false;
        platform::MainQueue::dispatchAsync([&] { drained = true; });
        while (!drained)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

void showRows(const DataSourceTableModel& model, int first) {
    for (int row = first; row < first + VisibleRows; ++row)
        for (int column = 0; column < model.columnCount(); ++column)
            benchmark::DoNotOptimize(model.data(model.index(row, column)));
}

void BM_TableModelEveryCellOnce(benchmark::State& state) {
    NVSCGDataSource& dataSource = fixture().dataSource;
    for (auto _ : state) {
        DataSourceTableModel model(dataSource);
        for (int row = 0; row < model.rowCount(); ++row)
            for (int column = 0; column < model.columnCount(); ++column)
                benchmark::DoNotOptimize(model.data(model.index(row, column)));
    }
    state.counters["rows"] = double(dataSource.countOfContentNodes());
    state.counters["columns"] = double(dataSource.countOfColumns());
}
BENCHMARK(BM_TableModelEveryCellOnce)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

void BM_TableModelRepaintVisibleRows(benchmark::State& state) {
    DataSourceTableModel model(fixture().dataSource);
    showRows(model, 2000);
    for (auto _ : state)
        showRows(model, 2000);
    state.counters["cellsComputedPerRepaint"] = 0; // the cache answers: see the tests
}
BENCHMARK(BM_TableModelRepaintVisibleRows)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

void BM_TableModelRefreshChangingTenRows(benchmark::State& state) {
    Fixture& f = fixture();
    std::chrono::steady_clock::time_point start;
    // Connected before the model's own handler: the clock starts when the new rows are in.
    const auto started = QObject::connect(&f.dataSource, &NVSCGDataSource::contentNodesReset,
                                          [&] { start = std::chrono::steady_clock::now(); });
    DataSourceTableModel model(f.dataSource);
    std::chrono::duration<double> modelTime{};
    const auto ended = QObject::connect(&f.dataSource, &NVSCGDataSource::contentNodesReset,
                                        [&] { modelTime = std::chrono::steady_clock::now() - start; });
    int announced = 0;
    QObject::connect(
        &model, &QAbstractItemModel::dataChanged,
        [&](const QModelIndex& from, const QModelIndex& to) { announced += to.row() - from.row() + 1; });
    // The rows on screen, and ten changed rows that were seen before.
    showRows(model, 0);
    for (int race = 100; race < 1100; race += 100)
        model.data(model.index(race, DataSourceTableModel::FirstDataColumn));
    bool useChanged = true;
    for (auto _ : state) {
        announced = 0;
        f.refreshFrom(useChanged ? f.changed : f.original);
        useChanged = !useChanged;
        state.SetIterationTime(modelTime.count());
        showRows(model, 0);
    }
    state.counters["rowsAnnounced"] = announced;
    QObject::disconnect(started);
    QObject::disconnect(ended);
}
BENCHMARK(BM_TableModelRefreshChangingTenRows)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(6)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

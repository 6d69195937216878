// How long a refresh keeps the main thread busy: the 10 MB election feed with 1,000 variables
// and a filter script, refreshed from a loopback server (on its own thread) while a 1 ms timer
// on the main thread notes every gap between its firings. The desktop program's table model is
// attached, as in a document window. Counters, in ms: the longest gap and the 99th percentile
// (wall clock: on a machine with fewer cores than busy threads they include time the main thread
// waited for a core), and the same for the main thread's own CPU time between two firings, which
// is what the refresh itself costs the event loop. A frame at 60 Hz is 16.7 ms.
#include "ElectionFeed.h"
#include "app/GraflinkDocument.h"
#include "app/VariablesModel.h"
#include "testkit/LoopbackHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QUndoStack>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <ctime>

namespace {

using testing_support::LoopbackHttpServer;

qint64 threadCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

/// Script that rewrites every vote count, reaching each global by its name.
const QByteArray FilterScript =
    "for (var name in globalThis) {\n"
    "  if (name.indexOf('Votes') >= 0) globalThis[name] = globalThis[name] + ' votes';\n"
    "}\n";

void MainThreadGaps(benchmark::State& state) {
    LoopbackHttpServer server;
    server.serve("/election.xml", LoopbackHttpServer::Reply::text(ElectionFeed::xml(), "application/xml"));
    QTemporaryDir folder;
    const QString script = folder.filePath(QStringLiteral("filter.js"));
    {
        QFile file(script);
        file.open(QIODevice::WriteOnly);
        file.write(FilterScript);
    }
    GraflinkDocument document;
    QList<QVariantMap> variables;
    for (const ElectionFeed::VariablePath& path : ElectionFeed::variablePaths())
        variables.append({{QStringLiteral("XPath"), path.xpath}, {QStringLiteral("valueType"), 0}});
    document.loadVariablesFromDictionaries(variables);
    document.setJavascriptFilterPath(script);
    QUndoStack undo;
    VariablesModel model(document, &undo);

    std::vector<double> gaps;
    std::vector<double> busy;
    QElapsedTimer clock;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    qint64 last = 0;
    qint64 lastCpu = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = threadCpuNanoseconds();
        gaps.push_back(double(now - last) / 1e6);
        busy.push_back(double(cpu - lastCpu) / 1e6);
        last = now;
        lastCpu = cpu;
    });
    const auto refreshOnce = [&](bool first) {
        if (first)
            document.setSourceURLString(server.url(QStringLiteral("/election.xml")).toString());
        else
            document.refresh();
        while (document.isRefreshing())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    };
    refreshOnce(true); // compiles the paths and starts the filter's engine
    clock.start();
    ticker.start();
    last = clock.nsecsElapsed();
    lastCpu = threadCpuNanoseconds();
    for (auto _ : state) {
        refreshOnce(false);
        if (document.lastRefreshDelivered() != true)
            state.SkipWithError("the refresh delivered no feed");
    }
    ticker.stop();
    const auto report = [&](std::vector<double>& values, const char* max, const char* p99) {
        std::sort(values.begin(), values.end());
        state.counters[max] = values.empty() ? 0.0 : values.back();
        state.counters[p99] = values.empty() ? 0.0 : values[std::size_t(double(values.size() - 1) * 0.99)];
    };
    report(gaps, "max_gap_ms", "p99_gap_ms");
    report(busy, "max_busy_ms", "p99_busy_ms");
}

BENCHMARK(MainThreadGaps)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

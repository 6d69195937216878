// How many messages per second callers can hand to the technical log, from one and several
// threads, against a peer that writes each line on the caller's thread (open, append, close under
// a lock), as a logger without a queue would. Callers must not wait for the disk.
#include "appbase/NVSLogController.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

struct Fixture {
    QTemporaryDir temp;
    platform::UserDefaults defaults{temp.path() + QStringLiteral("/defaults.conf")};
    NVSLogControllerDelegate delegate;
    std::unique_ptr<NVSLogController> logger;
    std::mutex peerMutex;

    Fixture() {
        defaults.setValue(NVSLogController::TechnicalLogFolderPathKey, temp.path());
        logger = std::make_unique<NVSLogController>(
            NVSLogController::Configuration{&defaults, QStringLiteral("Graflink"), nullptr, {}});
        logger->setLogDelegate(&delegate);
    }
    static Fixture& shared() {
        static Fixture fixture;
        return fixture;
    }
};

void TechnicalLog_Accept(benchmark::State& state) {
    Fixture& fixture = Fixture::shared();
    const QString text =
        QStringLiteral("Published value to CG item %1 of thread %2").arg(42).arg(state.thread_index());
    qint64 i = 0;
    for (auto _ : state) {
        // Distinct texts, so every message becomes a line (no repeat folding).
        fixture.logger->logMessage(text + QString::number(i++), 2, false);
    }
    state.SetItemsProcessed(state.iterations());
    // Outside the timed loop: the queue drains before the next run starts.
    if (state.thread_index() == 0)
        fixture.logger->waitUntilIdle();
}
BENCHMARK(TechnicalLog_Accept)->Iterations(100000)->Threads(1)->Threads(4)->UseRealTime();

void TechnicalLog_AcceptAndDrain(benchmark::State& state) {
    Fixture& fixture = Fixture::shared();
    const QString text = QStringLiteral("Published value to CG item ");
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i)
            fixture.logger->logMessage(text + QString::number(i), 2, false);
        fixture.logger->waitUntilIdle();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(TechnicalLog_AcceptAndDrain)->Unit(benchmark::kMillisecond)->UseRealTime();

void Peer_SynchronousAppend(benchmark::State& state) {
    Fixture& fixture = Fixture::shared();
    const QByteArray path = (fixture.temp.path() + QStringLiteral("/peer.log")).toUtf8();
    const QString text =
        QStringLiteral("Published value to CG item %1 of thread %2").arg(42).arg(state.thread_index());
    qint64 i = 0;
    for (auto _ : state) {
        const QByteArray line =
            (QLatin1Char('\t') + QDateTime::currentDateTime().toString(Qt::ISODate) + QStringLiteral("\t\t") +
             text + QString::number(i++) + QStringLiteral("\r\n"))
                .toUtf8();
        std::lock_guard lock(fixture.peerMutex);
        const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0664);
        benchmark::DoNotOptimize(::write(fd, line.constData(), static_cast<size_t>(line.size())));
        ::close(fd);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Peer_SynchronousAppend)->Iterations(100000)->Threads(1)->Threads(4)->UseRealTime();

} // namespace

// Settings of their own, set before main() makes the application object.
[[maybe_unused]] const bool ownSettings =
    qputenv("XDG_CONFIG_HOME", QByteArray("/tmp/graflink-bench-config"));

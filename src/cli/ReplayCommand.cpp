#include "cli/ReplayCommand.h"

#include "platform/Error.h"
#include "platform/StopSignalWaiter.h"
#include "rack/FeedReplay.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace cli {

QString ReplayCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli replay DIR [--port N] [--speed X] [--loop] [--step] [--start TIME]\n\n"
        "Serves the recording in DIR (made by graflink-cli record) on 127.0.0.1 as a live feed:\n"
        "every GET, whatever its path, gets the current snapshot with its content type and status.\n"
        "Point documents and data sources at the address it prints. Snapshots follow one another\n"
        "on the recorded clock divided by X (default 1); after the last one the replay stays on it,\n"
        "or with --loop starts again. --step waits for Enter before each next snapshot. --start\n"
        "begins with the snapshot current at TIME (ISO 8601, as in the index). --port picks the\n"
        "port (default: any free one). Runs until SIGINT or SIGTERM.\n");
}

int ReplayCommand::run(CliContext& context, const QStringList& arguments) {
    QStringList positional;
    FeedReplay::Options options;
    quint16 port = 0;
    const auto usage = [&](const QString& message) {
        context.err << "graflink-cli replay: " << message << Qt::endl;
        return UsageError;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const auto value = [&]() { return i + 1 < arguments.size() ? arguments.at(++i) : QString(); };
        if (argument == QStringLiteral("--loop")) {
            options.loop = true;
        } else if (argument == QStringLiteral("--step")) {
            options.stepping = true;
        } else if (argument == QStringLiteral("--port")) {
            bool ok = false;
            const uint number = value().toUInt(&ok);
            if (!ok || number > 65535)
                return usage(QStringLiteral("--port needs a port number from 0 to 65535"));
            port = quint16(number);
        } else if (argument == QStringLiteral("--speed")) {
            bool ok = false;
            options.speed = value().toDouble(&ok);
            if (!ok || !(options.speed > 0) || !std::isfinite(options.speed))
                return usage(QStringLiteral("--speed needs a number above 0"));
        } else if (argument == QStringLiteral("--start")) {
            const QDateTime start = QDateTime::fromString(value(), Qt::ISODateWithMs);
            if (!start.isValid())
                return usage(QStringLiteral("--start needs an ISO 8601 time, e.g. 2026-11-03T22:10:00Z"));
            options.start = start.toUTC();
        } else if (argument.startsWith(QStringLiteral("--"))) {
            return usage(QStringLiteral("unknown option %1").arg(argument));
        } else {
            positional.append(argument);
        }
    }
    if (positional.size() != 1)
        return usage(QStringLiteral("which recording? (graflink-cli replay DIR)"));
    platform::Error error;
    std::optional<FeedRecording> recording = FeedRecording::open(positional.first(), &error);
    if (!recording) {
        context.err << "graflink-cli replay: " << error.localizedDescription() << Qt::endl;
        return Failure;
    }
    if (recording->snapshots().isEmpty()) {
        context.err << "graflink-cli replay: " << positional.first() << " holds no snapshot" << Qt::endl;
        return Failure;
    }

    FeedReplay replay(std::move(*recording), options);
    QString reason;
    const quint16 bound = replay.listen(QHostAddress::LocalHost, port, &reason);
    if (bound == 0) {
        context.err << "graflink-cli replay: " << reason << Qt::endl;
        return Failure;
    }
    const int count = int(replay.recording().snapshots().size());
    QObject::connect(&replay, &FeedReplay::snapshotShown, [&](int index) {
        const FeedRecording::Snapshot& snapshot = replay.recording().snapshots().at(index);
        context.out << "snapshot " << (index + 1) << " of " << count << '\t'
                    << snapshot.fetchedAt.toString(Qt::ISODateWithMs) << Qt::endl;
    });
    QObject::connect(&replay, &FeedReplay::reachedEnd, [&] {
        context.out << "end of the recording (still serving the last snapshot)" << Qt::endl;
    });
    context.out << "serving http://127.0.0.1:" << bound << "/" << Qt::endl;

    // Step mode: each line on standard input (Enter) moves on.
    std::unique_ptr<QSocketNotifier> input;
    if (options.stepping) {
        input = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(input.get(), &QSocketNotifier::activated, [&] {
            char buffer[256];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0) {
                input->setEnabled(false); // the end of the input: no more steps
                return;
            }
            for (ssize_t i = 0; i < got; ++i)
                if (buffer[i] == '\n')
                    replay.step();
        });
    }
    platform::StopSignalWaiter stopSignal;
    QEventLoop loop;
    stopSignal.onStop([&](int) { loop.quit(); });
    replay.begin();
    loop.exec();
    context.out << "stopped" << Qt::endl;
    return Success;
}

} // namespace cli

#include "cli/RecordCommand.h"

#include "platform/Error.h"
#include "platform/RedactedText.h"
#include "platform/SharedHttpClient.h"
#include "platform/StopSignalWaiter.h"
#include "rack/FeedRecorder.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cmath>

namespace cli {

QString RecordCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli record URL DIR [--every SECONDS] [--duration SECONDS]\n\n"
        "Fetches the feed every SECONDS (default 5) and stores each answer that differs from the\n"
        "previous snapshot (body, content type or status) in DIR: one file per snapshot and an\n"
        "index, index.jsonl, with each snapshot's fetch time, content type and status. A recording\n"
        "that exists goes on. Stops after --duration SECONDS, or on SIGINT or SIGTERM; every\n"
        "snapshot announced is complete on disk. Prints one line per stored snapshot.\n");
}

int RecordCommand::run(CliContext& context, const QStringList& arguments) {
    QStringList positional;
    double every = 5;
    std::optional<double> duration;
    const auto usage = [&](const QString& message) {
        context.err << "graflink-cli record: " << message << Qt::endl;
        return UsageError;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QStringLiteral("--every") || argument == QStringLiteral("--duration")) {
            bool ok = false;
            const double seconds = i + 1 < arguments.size() ? arguments.at(++i).toDouble(&ok) : 0;
            if (!ok || !(seconds > 0) || !std::isfinite(seconds))
                return usage(QStringLiteral("%1 needs a number of seconds above 0").arg(argument));
            (argument == QStringLiteral("--every") ? every : duration.emplace()) = seconds;
        } else if (argument.startsWith(QStringLiteral("--"))) {
            return usage(QStringLiteral("unknown option %1").arg(argument));
        } else {
            positional.append(argument);
        }
    }
    if (positional.size() != 2)
        return usage(QStringLiteral("which feed and which folder? (graflink-cli record URL DIR)"));
    const QUrl url(positional.at(0));
    if (!url.isValid() || (url.scheme() != QStringLiteral("http") && url.scheme() != QStringLiteral("https")))
        return usage(QStringLiteral("the feed must be an http or https URL"));
    platform::Error error;
    std::optional<FeedRecording> recording = FeedRecording::open(positional.at(1), &error);
    if (!recording) {
        context.err << "graflink-cli record: " << error.localizedDescription() << Qt::endl;
        return Failure;
    }

    FeedRecorder recorder(url, *recording, platform::http::sharedClient());
    QObject::connect(&recorder, &FeedRecorder::snapshotStored, [&](const FeedRecording::Snapshot& snapshot) {
        context.out << "snapshot " << snapshot.number << '\t'
                    << snapshot.fetchedAt.toString(Qt::ISODateWithMs) << '\t' << snapshot.bytes << " bytes\t"
                    << QString::fromUtf8(snapshot.contentType) << "\tHTTP " << snapshot.status << Qt::endl;
    });
    QObject::connect(&recorder, &FeedRecorder::failed, [&](const QString& reason) {
        context.err << "graflink-cli record: " << platform::RedactedText::fromText(reason) << Qt::endl;
    });
    context.out << "recording " << platform::RedactedText::fromUrl(url) << " into " << recording->folder()
                << " every " << every << " s" << Qt::endl;

    platform::StopSignalWaiter stopSignal;
    QEventLoop loop;
    stopSignal.onStop([&](int) { loop.quit(); });
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (duration)
        end.start(int(std::min(*duration * 1000.0, 2.0e9)));
    recorder.start(std::chrono::milliseconds(qint64(std::min(every, 1e6) * 1000.0)));
    loop.exec();
    recorder.stop();
    // A fetch under way finishes (or gives up on its time-out) so that its snapshot is whole.
    QEventLoop drain;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &drain, [&] {
        if (!recorder.isFetching())
            drain.quit();
    });
    poll.start(20);
    if (recorder.isFetching())
        drain.exec();
    context.out << "stopped with " << recording->snapshots().size() << " snapshots" << Qt::endl;
    return Success;
}

} // namespace cli

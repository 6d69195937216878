#include "cli/SupportCollectCommand.h"

#include "cli/EventLoopWait.h"
#include "platform/Error.h"
#include "platform/StopSignalWaiter.h"
#include "support/Profiler.h"
#include "support/SupportArchive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThreadPool>
#include <atomic>
#include <memory>
#include <optional>

namespace cli {

QString SupportCollectCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli support collect DIR [--description TEXT] [--date ISO]\n\n"
        "Gathers what support staff need into the folder DIR: the program's settings (passwords and\n"
        "keys blanked), its technical logs, crash reports, video driver settings, the system logs\n"
        "and the system journal around the incident, and a profile of the machine, with the\n"
        "description in \"Support Request.json\". Then compresses DIR into DIR.zip and prints its path.\n\n"
        "  --description TEXT  what happened\n"
        "  --date ISO          when it happened (for example 2026-11-03T21:40:00); default: now\n\n"
        "The journal is read with administrator rights through pkexec; without them it is left out\n"
        "and the description says so. Passwords, keys and tokens in settings and documents are\n"
        "replaced by \"***\" in the copies. Everything written is readable by its owner only.\n\n"
        "DIR must not exist yet or be empty, and DIR.zip must not exist: nothing that is there\n"
        "already is changed, archived or removed. SIGINT or SIGTERM cancels and removes what was\n"
        "written.\n\n"
        "Exit status 1 when DIR is not empty, when cancelled, or when the archive cannot be written.\n");
}

int SupportCollectCommand::run(CliContext& context, const QStringList& arguments) {
    QString folder;
    SupportRequest request;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--description") && hasValue) {
            request.problemDescription = arguments.at(++i);
        } else if (argument == QLatin1String("--date") && hasValue) {
            request.occuredDate = QDateTime::fromString(arguments.at(++i), Qt::ISODate);
            if (!request.occuredDate.isValid()) {
                context.err << "graflink-cli support collect: --date takes an ISO date and time, such as "
                               "2026-11-03T21:40:00"
                            << Qt::endl;
                return UsageError;
            }
        } else if (argument.startsWith(QLatin1String("--")) || !folder.isEmpty()) {
            context.err << "graflink-cli support collect: unexpected " << argument << "\n"
                        << help() << Qt::flush;
            return UsageError;
        } else {
            folder = argument;
        }
    }
    if (folder.isEmpty()) {
        context.err << "graflink-cli support collect: expects DIR\n" << help() << Qt::flush;
        return UsageError;
    }
    folder = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const QString archive = folder + QStringLiteral(".zip");
    if (QFileInfo::exists(archive) || QFileInfo(archive).isSymLink()) {
        context.err << "graflink-cli support collect: " << archive
                    << " exists already; name a folder whose archive is not there yet" << Qt::endl;
        return Failure;
    }

    Profiler profiler;
    profiler.request() = request;
    QObject::connect(&profiler, &Profiler::progressed,
                     [&](const QString& step) { context.err << step << Qt::endl; });
    QObject::connect(&profiler, &Profiler::warning, [&](const QString& title, const QString& text) {
        context.err << title << ": " << text << Qt::endl;
    });
    bool gathered = false;
    bool cancelled = false;
    QObject::connect(&profiler, &Profiler::gathered, [&] { gathered = true; });
    QObject::connect(&profiler, &Profiler::gatheringCancelled, [&] { cancelled = true; });
    // SIGINT or SIGTERM cancels: what was written so far is removed.
    auto stop = std::make_shared<std::atomic<bool>>(false);
    platform::StopSignalWaiter stopSignal;
    stopSignal.onStop([&profiler, stop](int) {
        stop->store(true);
        profiler.cancel();
    });
    platform::Error error;
    if (!profiler.gatherIntoFolder(folder, &error)) {
        context.err << "graflink-cli support collect: " << error.localizedDescription() << Qt::endl;
        return Failure;
    }
    // The administrator password may be asked for: no short limit.
    runEventLoopUntil([&] { return gathered || cancelled; }, std::chrono::hours(1));
    if (cancelled) {
        context.err << "graflink-cli support collect: cancelled; what it had gathered is removed" << Qt::endl;
        return Failure;
    }
    if (!gathered) {
        context.err << "graflink-cli support collect: the gathering did not end" << Qt::endl;
        return Failure;
    }

    context.err << "Compressing…" << Qt::endl;
    struct Outcome {
        std::optional<bool> made;
        platform::Error error;
    };
    auto outcome = std::make_shared<Outcome>();
    QThreadPool::globalInstance()->start([outcome, folder, archive, stop] {
        platform::Error failure;
        const bool ok = SupportArchive::create(folder, archive, &failure,
                                               [stop](qint64, qint64) { return !stop->load(); });
        QMetaObject::invokeMethod(qApp, [outcome, ok, failure] {
            outcome->error = failure;
            outcome->made = ok;
        });
    });
    runEventLoopUntil([&] { return outcome->made.has_value(); }, std::chrono::hours(24));
    error = outcome->error;
    const std::optional<bool> made = outcome->made;
    if (!made.value_or(false)) {
        if (stop->load()) {
            QDir(folder).removeRecursively();
            context.err << "graflink-cli support collect: cancelled; what it had gathered is removed"
                        << Qt::endl;
        } else {
            context.err << "graflink-cli support collect: " << error.localizedDescription() << Qt::endl;
        }
        return Failure;
    }
    context.out << QDir::toNativeSeparators(archive) << Qt::endl;
    return Success;
}

} // namespace cli

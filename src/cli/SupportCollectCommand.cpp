#include "cli/SupportCollectCommand.h"

#include "cli/EventLoopWait.h"
#include "support/Profiler.h"
#include "support/SupportArchive.h"

#include <QDir>
#include <QFileInfo>

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
        "and the description says so. Files are readable by their owner only.\n\n"
        "Exit status 1 when the archive cannot be written.\n");
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
    folder = QFileInfo(folder).absoluteFilePath();

    Profiler profiler;
    profiler.request() = request;
    QObject::connect(&profiler, &Profiler::progressed,
                     [&](const QString& step) { context.err << step << Qt::endl; });
    QObject::connect(&profiler, &Profiler::warning, [&](const QString& title, const QString& text) {
        context.err << title << ": " << text << Qt::endl;
    });
    bool gathered = false;
    QObject::connect(&profiler, &Profiler::gathered, [&] { gathered = true; });
    profiler.gatherIntoFolder(folder);
    // The administrator password may be asked for: no short limit.
    runEventLoopUntil([&] { return gathered; }, std::chrono::hours(1));
    if (!gathered) {
        context.err << "graflink-cli support collect: the gathering did not end" << Qt::endl;
        return Failure;
    }

    const QString archive = folder + QStringLiteral(".zip");
    platform::Error error;
    context.err << "Compressing…" << Qt::endl;
    if (!SupportArchive::create(folder, archive, &error)) {
        context.err << "graflink-cli support collect: " << error.localizedDescription() << Qt::endl;
        return Failure;
    }
    context.out << QDir::toNativeSeparators(archive) << Qt::endl;
    return Success;
}

} // namespace cli

#include "cli/SupportUploadCommand.h"

#include "cli/EventLoopWait.h"
#include "platform/SharedHttpClient.h"
#include "platform/StopSignalWaiter.h"
#include "support/NVSBackblazeUploadTask.h"

#include <QFileInfo>

namespace cli {

QString SupportUploadCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli support upload FILE\n\n"
        "Sends FILE (a support archive, see `support collect`) to the maker's storage bucket: in one\n"
        "request, or in parts sent side by side for a large file. Progress goes to stderr; the name\n"
        "the file is stored under is printed on stdout. SIGINT or SIGTERM cancels the upload.\n\n"
        "The bucket comes from the environment (GRAFLINK_SUPPORT_B2_KEY_ID,\n"
        "GRAFLINK_SUPPORT_B2_APPLICATION_KEY, GRAFLINK_SUPPORT_B2_BUCKET_ID and, optionally,\n"
        "GRAFLINK_SUPPORT_B2_AUTHORIZATION_URL) or from the user defaults \"SupportUploadKeyID\",\n"
        "\"SupportUploadApplicationKey\", \"SupportUploadBucketID\", \"SupportUploadAuthorizationURL\".\n\n"
        "Exit status 1 when the upload fails or nothing is configured.\n");
}

int SupportUploadCommand::run(CliContext& context, const QStringList& arguments) {
    if (arguments.size() != 1 || arguments.first().startsWith(QLatin1String("--"))) {
        context.err << "graflink-cli support upload: expects FILE\n" << help() << Qt::flush;
        return UsageError;
    }
    const QFileInfo file(arguments.first());
    if (!file.isFile()) {
        context.err << "graflink-cli support upload: " << arguments.first() << " is not a file" << Qt::endl;
        return Failure;
    }

    NVSBackblazeUploadTask task(QStringLiteral("support upload"),
                                NVSBackblazeConfiguration::fromEnvironment(context.defaults),
                                platform::http::sharedClient());
    int lastPercent = -1;
    QObject::connect(&task, &NVSBaseTask::taskProgressRatioChanged, [&] {
        const int percent = int(task.taskProgressRatio() * 100);
        if (percent != lastPercent) {
            lastPercent = percent;
            context.err << "\r" << percent << " %" << Qt::flush;
        }
    });
    platform::StopSignalWaiter stopSignals;
    stopSignals.onStop([&task](int) { task.setShouldCancel(true); });

    bool ended = false;
    bool sent = false;
    QString reason;
    task.uploadZippedFileAtPath(file.absoluteFilePath(), file.size(),
                                [&](bool success, std::optional<platform::Error> error) {
                                    ended = true;
                                    sent = success;
                                    reason = error ? error->localizedDescription() : task.taskStatusString();
                                });
    runEventLoopUntil([&] { return ended; }, std::chrono::hours(12));
    if (lastPercent >= 0)
        context.err << Qt::endl;
    if (!sent) {
        context.err << "graflink-cli support upload: "
                    << (ended ? reason : QStringLiteral("the upload did not end")) << Qt::endl;
        return Failure;
    }
    context.out << file.fileName() << Qt::endl;
    return Success;
}

} // namespace cli

#include "cli/CgsimCommand.h"

#include "cgsim/CGServerSimulator.h"
#include "platform/StopSignalWaiter.h"

#include <QCoreApplication>

namespace cli {

QString CgsimCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli cgsim [--port N] [--type 1|2] [--password P] [--projects FILE]\n\n"
        "Runs a CG server simulator on 127.0.0.1 (port 2001 unless given; 0 picks a free one): project\n"
        "and item listings, authorization and updates of API generation 1 (default) or 2, and the\n"
        "change-notification socket. Every accepted update is printed on stdout as one JSON line:\n"
        "{\"project\", \"item\", \"text\"} (or \"htmlText\", or the media path key). FILE is a JSON array "
        "of\n"
        "{\"name\", \"uniqueID\", \"items\": [{\"name\", \"uniqueID\", \"type\"}]}; it is reloaded and "
        "announced\n"
        "whenever it changes. Without it a built-in set is served. Admin requests: GET/PUT /admin/projects,\n"
        "POST /admin/notify, GET /admin/updates. Stops on SIGINT or SIGTERM.\n");
}

int CgsimCommand::run(CliContext& context, const QStringList& arguments) {
    CGServerSimulator::Options options;
    options.port = 2001;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        bool ok = true;
        if (argument == QStringLiteral("--port") && hasValue) {
            const uint port = arguments.at(++i).toUInt(&ok);
            ok = ok && port <= 65535;
            options.port = quint16(port);
        } else if (argument == QStringLiteral("--type") && hasValue) {
            options.serverType = arguments.at(++i).toInt(&ok);
            ok = ok && (options.serverType == 1 || options.serverType == 2);
        } else if (argument == QStringLiteral("--password") && hasValue) {
            options.password = arguments.at(++i);
        } else if (argument == QStringLiteral("--projects") && hasValue) {
            options.projectsFile = arguments.at(++i);
        } else {
            ok = false;
        }
        if (!ok) {
            context.err << "graflink-cli cgsim: unusable argument “" << argument << "”" << Qt::endl;
            return UsageError;
        }
    }

    CGServerSimulator simulator(options);
    QObject::connect(
        &simulator, &CGServerSimulator::updateAccepted, &simulator,
        [&](const QByteArray& line) { context.out << QString::fromUtf8(line) << Qt::endl; },
        Qt::QueuedConnection);
    QObject::connect(
        &simulator, &CGServerSimulator::diagnostic, &simulator,
        [&](const QString& text) { context.err << text << Qt::endl; }, Qt::QueuedConnection);
    QString error;
    if (!simulator.start(&error)) {
        context.err << "graflink-cli cgsim: " << error << Qt::endl;
        return Failure;
    }
    if (!context.options.quiet)
        context.err << "cgsim: CG server (type " << options.serverType << ") listening on "
                    << simulator.httpURL(QString()).toString() << Qt::endl;
    platform::StopSignalWaiter stopSignal;
    stopSignal.wait();
    simulator.stop();
    QCoreApplication::sendPostedEvents(&simulator); // lines accepted just before the signal
    return Success;
}

} // namespace cli

#include "cli/DemoCommand.h"

#include "app/GraflinkDocument.h"
#include "cgsim/CGServerSimulator.h"
#include "cli/DemoFeed.h"
#include "cli/EventLoopWait.h"
#include "platform/AtomicFile.h"
#include "platform/PropertyList.h"

#include <QFile>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>

namespace cli {

namespace {
constexpr int DemoRefreshes = 3;

QByteArray resource(const QString& name) {
    QFile file(QStringLiteral(":/examples/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

QString DemoCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli demo\n\n"
        "Starts the CG server simulator and a scoreboard feed on 127.0.0.1, opens the bundled example\n"
        "document (seven variables, a JavaScript filter, a number format, an HTML field), lets it\n"
        "refresh and publish on its timer a few times while the match goes on, and prints what the\n"
        "CG server received. Needs nothing but the build.\n");
}

int DemoCommand::run(CliContext& context, const QStringList& arguments) {
    if (!arguments.isEmpty()) {
        context.err << "graflink-cli demo: takes no arguments" << Qt::endl;
        return UsageError;
    }
    QTextStream& out = context.out;

    CGServerSimulator simulator(CGServerSimulator::Options{});
    QString error;
    if (!simulator.start(&error)) {
        context.err << "graflink-cli demo: the CG server simulator did not start: " << error << Qt::endl;
        return Failure;
    }
    DemoFeed feed(resource(QStringLiteral("scores.xml")));
    const quint16 feedPort = feed.listen();
    if (feedPort == 0) {
        context.err << "graflink-cli demo: the demo feed could not listen on 127.0.0.1" << Qt::endl;
        return Failure;
    }

    // The bundled document, pointed at this run's feed, simulator and filter.
    QTemporaryDir folder;
    const QString filterPath = folder.filePath(QStringLiteral("scores-filter.js"));
    const QString documentPath = folder.filePath(QStringLiteral("Scoreboard.graflink"));
    std::optional<QVariant> stored =
        platform::PropertyList::read(resource(QStringLiteral("scores.graflink")));
    if (!stored || !platform::AtomicFile::write(filterPath, resource(QStringLiteral("scores-filter.js")))) {
        context.err << "graflink-cli demo: the bundled example is missing from this build" << Qt::endl;
        return Failure;
    }
    QVariantMap file = stored->toMap();
    file.insert(GraflinkDocument::SourceURLStringKey,
                QStringLiteral("http://127.0.0.1:%1/scores.xml").arg(feedPort));
    file.insert(GraflinkDocument::CGServerIPAddressKey, simulator.host());
    file.insert(GraflinkDocument::CGServerPortNumberKey, static_cast<qint64>(simulator.port()));
    file.insert(GraflinkDocument::JavascriptFilterPathKey, filterPath);
    file.insert(GraflinkDocument::RefreshFrequencyKey, 1.0);
    file.insert(GraflinkDocument::AutoRefreshKey, true);
    file.insert(GraflinkDocument::PublishToCGKey, true);
    platform::AtomicFile::write(documentPath, platform::PropertyList::writeXml(file));

    out << "Graflink demo\n"
        << "  CG server simulator  http://" << simulator.host() << ':' << simulator.port()
        << " (API generation " << simulator.serverType() << ")\n"
        << "  feed                 http://127.0.0.1:" << feedPort << "/scores.xml\n"
        << "  document             examples/scores.graflink: 7 variables, filter scores-filter.js,\n"
        << "                       number format \"Possession #0'%'\", an HTML headline\n\n"
        << Qt::flush;

    GraflinkDocument document;
    platform::Error openError;
    if (!document.readFromPath(documentPath, GraflinkDocument::DocumentTypeName, &openError)) {
        context.err << "graflink-cli demo: " << openError.localizedDescription() << Qt::endl;
        return Failure;
    }
    runEventLoopUntil([&] { return !document.isRefreshing(); }, std::chrono::seconds(10));
    document.applyCGServerSettings();
    runEventLoopUntil([&] { return document.CGClient()->isIdle(); }, std::chrono::seconds(10));
    out << "Connected: " << document.availableCGProjects().size()
        << " projects on the CG server; refreshing every " << document.refreshFrequency() << " s\n"
        << Qt::flush;
    simulator.clearAcceptedUpdates();

    int refreshes = 0;
    // Each refresh's values reach the server on the client's worker; print them once sent.
    QObject::connect(document.CGClient(), &CGServerHTTPController::publishingPassFinished, &document, [&] {
        ++refreshes;
        out << "\nRefresh " << refreshes << " — the CG server received:\n";
        for (const CGServerSimulator::AcceptedUpdate& update : simulator.acceptedUpdates()) {
            const auto line = nlohmann::json::parse(update.jsonLine().toStdString(), nullptr, false);
            const bool html = line.contains("htmlText");
            const std::string text = html ? line.value("htmlText", "") : line.value("text", "");
            out << "  "
                << QStringLiteral("%1 › %2").arg(update.projectName, update.itemName).leftJustified(26)
                << (html ? " [HTML] " : "        ") << QString::fromStdString(text) << '\n';
        }
        out.flush();
        simulator.clearAcceptedUpdates();
    });
    const bool done = runEventLoopUntil([&] { return refreshes >= DemoRefreshes; }, std::chrono::seconds(20));
    document.setAutoRefresh(false);
    if (!done) {
        context.err << "graflink-cli demo: only " << refreshes << " of " << DemoRefreshes
                    << " refreshes reached the CG server (see the technical log)" << Qt::endl;
        return Failure;
    }
    out << "\nThe filter put the team names in capitals and added the minute mark; the possession went\n"
        << "through the number format; the headline went out as HTML. Done.\n"
        << Qt::flush;
    return Success;
}

} // namespace cli

#include "cli/CliApplication.h"

#include "app/AppDelegate.h"
#include "app/GraflinkApplication.h"
#include "app/GraflinkDocument.h"
#include "appbase/NVSLogController.h"
#include "cli/CliLogDelegate.h"
#include "platform/BundleInfo.h"
#include "platform/ConsoleWriter.h"
#include "platform/ConsoleWriterDevice.h"
#include "platform/DocumentController.h"
#include "platform/UserDefaults.h"

#include <QDir>

namespace cli {

namespace {
const char* const GlobalOptionsHelp =
    "Global options (before or after the subcommand):\n"
    "  --log-level N          technical log level for this run (0 critical ... 3 detail)\n"
    "  --log-folder DIR       technical log folder for this run\n"
    "  --default KEY=VALUE    a user default for this run only (VALUE read as JSON when it parses)\n"
    "  --verbose              echo technical-log lines to stderr\n"
    "  --quiet                print no diagnostics\n"
    "  --help                 this text, or a subcommand's help\n"
    "  --version              the version of graflink-cli\n";
}

CliApplication::CliApplication(QTextStream& out, platform::ConsoleWriter& err) : m_out(out), m_err(err) {}

CliApplication::~CliApplication() = default;

void CliApplication::registerCommand(std::unique_ptr<CliCommand> command) {
    m_commands.push_back(std::move(command));
}

QString CliApplication::overview() const {
    QString text =
        QStringLiteral("graflink-cli: runs Graflink documents and data sources without windows.\n\n"
                       "Usage: graflink-cli [global options] SUBCOMMAND [arguments]\n\n");
    if (m_commands.empty()) {
        text += QStringLiteral("No subcommands are available in this build yet.\n");
    } else {
        text += QStringLiteral("Subcommands:\n");
        for (const auto& command : m_commands)
            text += QStringLiteral("  %1%2\n").arg(command->name(), -22).arg(command->summary());
    }
    text += QLatin1Char('\n') + QString::fromLatin1(GlobalOptionsHelp);
    text += QStringLiteral("\nExit status: 0 success, 1 the work failed, 2 usage error.\n");
    return text;
}

CliCommand* CliApplication::find(const QString& subcommand, QStringList& arguments) const {
    // Two-word names ("datasource export") take the first argument as their second word.
    for (const auto& command : m_commands) {
        const QStringList words = command->name().split(QLatin1Char(' '));
        if (words.first() != subcommand)
            continue;
        if (words.size() == 1)
            return command.get();
        if (!arguments.isEmpty() && words.at(1) == arguments.first()) {
            arguments.removeFirst();
            return command.get();
        }
    }
    return nullptr;
}

int CliApplication::run(const QStringList& arguments) {
    // The main thread's stream over the one writer; it flushes when it goes out of scope.
    platform::ConsoleWriterDevice errDevice(m_err);
    QTextStream err(&errDevice);
    ParsedCommandLine parsed = parseCommandLine(arguments);
    if (parsed.error) {
        err << "graflink-cli: " << *parsed.error << "\nTry 'graflink-cli --help'." << Qt::endl;
        return UsageError;
    }
    if (parsed.global.version) {
        m_out << "graflink-cli " << platform::BundleInfo::shortVersionString() << " ("
              << platform::BundleInfo::bundleVersion() << ")" << Qt::endl;
        return Success;
    }
    if (parsed.subcommand.isEmpty()) {
        if (parsed.global.help) {
            m_out << overview() << Qt::flush;
            return Success;
        }
        err << overview() << Qt::flush;
        return UsageError;
    }
    CliCommand* command = find(parsed.subcommand, parsed.arguments);
    if (!command) {
        err << "graflink-cli: unknown subcommand “" << parsed.subcommand << "”\nTry 'graflink-cli --help'."
            << Qt::endl;
        return UsageError;
    }
    if (parsed.global.help) {
        m_out << command->help() << Qt::flush;
        return Success;
    }

    // Start-up, as the desktop program does: defaults (the ones given for this run first, so the
    // banner lands in the log folder asked for), the technical log's delegate and start banner,
    // the crash reporter and the actions controller. The version check is left to the desktop
    // program: a rack machine need not reach the internet.
    platform::UserDefaults& defaults = platform::UserDefaults::standardUserDefaults();
    NVSLogController::registerDefaults(defaults);
    for (const auto& [key, value] : parsed.global.defaults)
        defaults.setArgumentValue(key, value);
    if (parsed.global.logLevel)
        defaults.setArgumentValue(NVSLogController::TechnicalLogLevelKey, *parsed.global.logLevel);
    if (parsed.global.logFolder) {
        const QString folder = QDir(*parsed.global.logFolder).absolutePath();
        QDir().mkpath(folder);
        defaults.setArgumentValue(NVSLogController::TechnicalLogFolderPathKey, folder);
    }

    NVSLogController& logger = NVSLogController::sharedLogController();
    if (parsed.global.verbose) {
        logger.setLineObserver([&writer = m_err](const QString& lines) {
            writer.write(QString(lines).remove(QLatin1Char('\r')));
        });
    }
    CliLogDelegate presenter(m_err, parsed.global.quiet);
    GraflinkApplication application;
    platform::DocumentController documents;
    AppDelegate::Environment environment;
    environment.documentController = &documents;
    environment.logPresenter = &presenter;
    environment.crashReportName = QStringLiteral("graflink-cli");
    environment.restoresDocuments = command->restoresDocuments(parsed.arguments);
    environment.exportsDataSources = command->exportsDataSources();
    int status = Success;
    {
        AppDelegate delegate(application, std::move(environment));
        delegate.customApplicationDidFinishLaunching();

        CliContext context{m_out, err, parsed.global, defaults, logger, delegate, documents};
        status = command->run(context, parsed.arguments);

        delegate.applicationShouldTerminate();
        delegate.applicationWillTerminate();
        documents.closeAllDocuments();
    }

    logger.waitUntilIdle();
    // Settings changed during the run are on disk before it ends (main ends without clean-up).
    defaults.synchronize();
    // Both wait for a call in progress: the delegate and the echo end with this run.
    logger.setLogDelegate(nullptr);
    logger.setLineObserver({});
    m_out.flush();
    err.flush();
    return status;
}

} // namespace cli

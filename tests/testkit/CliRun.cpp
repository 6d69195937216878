#include "testkit/CliRun.h"

#include "cli/CliApplication.h"
#include "platform/ConsoleWriter.h"

#include <QTextStream>

namespace testing_support {

CliRun runCli(const QStringList& arguments) {
    CliRun run;
    QTextStream out(&run.out);
    platform::ConsoleWriter err([&run](const QByteArray& bytes) { run.err += QString::fromUtf8(bytes); });
    cli::CliApplication application(out, err);
    cli::registerBuiltInCommands(application);
    run.status = application.run(arguments);
    out.flush();
    return run;
}

} // namespace testing_support

#include "support/CliRun.h"

#include "cli/CliApplication.h"

#include <QTextStream>

namespace testing_support {

CliRun runCli(const QStringList& arguments) {
    CliRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    cli::CliApplication application(out, err);
    cli::registerBuiltInCommands(application);
    run.status = application.run(arguments);
    out.flush();
    err.flush();
    return run;
}

} // namespace testing_support

#include "cli/CliApplication.h"
#include "platform/ConsoleWriter.h"

#include <QCoreApplication>
#include <cstdio>
#include <sys/resource.h>

namespace {

/// A rack machine runs hundreds of documents, each with a feed connection, a CG connection and a
/// change socket: the usual soft limit of 1,024 open files is raised to what the system allows.
void raiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv) {
    raiseOpenFileLimit();
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    cli::CliApplication cli(out, platform::ConsoleWriter::standardError());
    cli::registerBuiltInCommands(cli);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return cli.run(arguments);
}

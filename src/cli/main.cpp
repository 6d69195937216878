#include "cli/CliApplication.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    cli::CliApplication cli(out, err);
    cli::registerBuiltInCommands(cli);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return cli.run(arguments);
}

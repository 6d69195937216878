#include "cli/CliApplication.h"
#include "platform/ConsoleWriter.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    cli::CliApplication cli(out, platform::ConsoleWriter::standardError());
    cli::registerBuiltInCommands(cli);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return cli.run(arguments);
}

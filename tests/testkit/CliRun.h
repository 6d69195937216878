#pragma once

#include <QString>
#include <QStringList>

namespace testing_support {

/// What graflink-cli answered when run in-process with every built-in subcommand.
struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

CliRun runCli(const QStringList& arguments);

} // namespace testing_support

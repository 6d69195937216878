#pragma once

#include "testkit/CliRun.h"

#include <QProcess>

namespace testing_support {

/// Runs the real graflink-cli binary (GRAFLINK_CLI_PATH, defined by the test target) to its end;
/// the status stays -1 when it does not end within `timeoutMs`.
inline CliRun runCliProcess(const QStringList& arguments,
                            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                            int timeoutMs = 30000) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(GRAFLINK_CLI_PATH), arguments);
    if (!process.waitForFinished(timeoutMs))
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace testing_support

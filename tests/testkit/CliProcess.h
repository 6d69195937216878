#pragma once

#include "testkit/CliRun.h"
#include "testkit/TestHelpers.h"

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

/// graflink-cli running beside the test while the test's event loop turns (loopback peers may live
/// on it), its output read into `out` and `err`; killed if it still runs when this goes.
class RunningCli {
  public:
    explicit RunningCli(const QStringList& arguments,
                        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(GRAFLINK_CLI_PATH), arguments);
        process.waitForStarted();
    }
    ~RunningCli() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    bool waitFor(const std::function<bool()>& ready,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        return waitUntil([&] { return read(), ready(); }, timeout);
    }
    /// Stops it with SIGTERM: its exit code, or -1 when it crashed or did not end within `timeout`.
    int terminate(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        process.terminate();
        const bool ended = waitFor([&] { return process.state() == QProcess::NotRunning; }, timeout);
        read();
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QProcess process;
    QString out, err;

  private:
    void read() {
        out += QString::fromUtf8(process.readAllStandardOutput());
        err += QString::fromUtf8(process.readAllStandardError());
    }
};

} // namespace testing_support

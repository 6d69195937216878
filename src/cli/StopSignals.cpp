#include "cli/StopSignals.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int number) {
    const char byte = char(number);
    // Only async-signal-safe work here: one write to the pipe.
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}
} // namespace

int StopSignals::waitForStopSignal() {
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return 0;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction previousInt = {}, previousTerm = {};
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);

    QEventLoop loop;
    int received = 0;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
        char byte = 0;
        while (::read(signalPipe[0], &byte, 1) == 1)
            received = byte;
        loop.quit();
    });
    loop.exec();

    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    return received;
}

} // namespace cli

#include "platform/StopSignalWaiter.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

int signalSockets[2] = {-1, -1};
struct sigaction previousInterrupt;
struct sigaction previousTerminate;

extern "C" void forwardStopSignal(int number) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

StopSignalWaiter::StopSignalWaiter() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = forwardStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInterrupt);
    ::sigaction(SIGTERM, &action, &previousTerminate);
    m_notifier = std::make_unique<QSocketNotifier>(signalSockets[1], QSocketNotifier::Read);
    m_ready = true;
}

StopSignalWaiter::~StopSignalWaiter() {
    if (!m_ready)
        return;
    ::sigaction(SIGINT, &previousInterrupt, nullptr);
    ::sigaction(SIGTERM, &previousTerminate, nullptr);
    m_notifier.reset();
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}

int StopSignalWaiter::wait() {
    if (!m_ready)
        return 0;
    QEventLoop loop;
    int received = 0;
    const auto connection = QObject::connect(m_notifier.get(), &QSocketNotifier::activated, &loop, [&] {
        char byte = 0;
        if (::read(signalSockets[1], &byte, 1) == 1) {
            received = byte;
            loop.quit();
        }
    });
    loop.exec();
    QObject::disconnect(connection);
    return received;
}

} // namespace platform

namespace platform {

void StopSignalWaiter::onStop(std::function<void(int)> handler) {
    if (!m_ready)
        return;
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [handler = std::move(handler)] {
                         char byte = 0;
                         if (::read(signalSockets[1], &byte, 1) == 1)
                             handler(byte);
                     });
}

} // namespace platform

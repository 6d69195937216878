#include "cli/EventLoopWait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace cli {

bool runEventLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QDeadlineTimer deadline(timeout);
    QEventLoop loop;
    // Checks between events rather than polling a sleeping thread.
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    if (done())
        return true;
    tick.start();
    loop.exec();
    return done();
}

} // namespace cli

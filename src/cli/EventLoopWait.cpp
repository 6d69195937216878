#include "cli/EventLoopWait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace cli {

bool runEventLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    if (done())
        return true;
    QDeadlineTimer deadline(timeout);
    QEventLoop loop;
    const auto check = [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    };
    // Checked whenever the loop has handled what arrived and is about to wait again, which is
    // when an awaited result has just been delivered; the tick catches a state that changes
    // without an event to this thread, and the deadline.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &loop,
                     check);
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, &loop, check);
    tick.start();
    loop.exec();
    return done();
}

} // namespace cli

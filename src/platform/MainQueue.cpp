#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace platform {

void MainQueue::dispatchAsync(std::function<void()> work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !work)
        return;
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

void MainQueue::dispatchAfter(std::chrono::milliseconds delay, std::function<void()> work) {
    // The single-shot timer must be created on the main thread to fire there.
    dispatchAsync([delay, work = std::move(work)]() mutable {
        QTimer::singleShot(delay, QCoreApplication::instance(), std::move(work));
    });
}

bool MainQueue::isMainThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace platform

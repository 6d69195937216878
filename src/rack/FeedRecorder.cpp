#include "rack/FeedRecorder.h"

#include "feed/FeedSizeLimit.h"
#include "platform/Error.h"
#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "platform/UserDefaults.h"

#include <QPointer>

FeedRecorder::FeedRecorder(QUrl url, FeedRecording& recording, std::shared_ptr<platform::http::Client> http,
                           QObject* parent)
    : QObject(parent), m_url(std::move(url)), m_recording(recording), m_http(std::move(http)) {
    connect(&m_timer, &QTimer::timeout, this, &FeedRecorder::fetch);
}

FeedRecorder::~FeedRecorder() {
    if (m_task)
        m_task->cancel();
}

void FeedRecorder::start(std::chrono::milliseconds period) {
    m_timer.start(period);
    fetch();
}

void FeedRecorder::stop() {
    m_timer.stop();
}

void FeedRecorder::fetch() {
    if (m_task)
        return;
    platform::http::Request request(m_url);
    request.requestTimeout = 10.0;
    request.resourceTimeout = 60.0;
    request.maximumResponseSize =
        platform::FeedSizeLimit::bytes(platform::UserDefaults::standardUserDefaults());
    const QDateTime started = QDateTime::currentDateTimeUtc();
    m_task = m_http->start(std::move(request), [self = QPointer<FeedRecorder>(this),
                                                started](platform::http::Response response) {
        platform::MainQueue::dispatchAsync([self, started, response = std::move(response)] {
            if (!self)
                return;
            self->m_task.reset();
            if (response.error) {
                Q_EMIT self->failed(response.error->localizedDescription());
                return;
            }
            const QByteArray type = response.header("Content-Type").value_or(QByteArray());
            if (!self->m_recording.differsFromLast(response.body, type, response.statusCode)) {
                Q_EMIT self->unchanged();
                return;
            }
            platform::Error error;
            if (!self->m_recording.append(response.body, type, response.statusCode, started, &error)) {
                Q_EMIT self->failed(error.localizedDescription());
                return;
            }
            Q_EMIT self->snapshotStored(self->m_recording.snapshots().constLast());
        });
    });
}

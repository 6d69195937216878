#pragma once

#include "rack/FeedRecording.h"

#include <QObject>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace platform::http {
class Client;
class Task;
} // namespace platform::http

/// Fetches a feed on a period and stores each answer that differs from the previous snapshot
/// (body, content type or status) in a recording. A fetch that gets no answer stores nothing.
/// One fetch at a time: a period shorter than a slow fetch waits for it. Main thread.
class FeedRecorder : public QObject {
    Q_OBJECT
  public:
    FeedRecorder(QUrl url, FeedRecording& recording, std::shared_ptr<platform::http::Client> http,
                 QObject* parent = nullptr);
    ~FeedRecorder() override;

    /// Fetches at once, then every `period`.
    void start(std::chrono::milliseconds period);
    void stop();
    /// Whether a fetch is under way (a stop waits for it, so that its snapshot is complete).
    bool isFetching() const { return m_task != nullptr; }

  Q_SIGNALS:
    void snapshotStored(const FeedRecording::Snapshot& snapshot);
    void unchanged();
    void failed(const QString& reason);

  private:
    void fetch();

    QUrl m_url;
    FeedRecording& m_recording;
    std::shared_ptr<platform::http::Client> m_http;
    std::shared_ptr<platform::http::Task> m_task;
    QTimer m_timer;
};

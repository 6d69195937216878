#pragma once

#include <QByteArray>
#include <QObject>
#include <QThread>
#include <QTimer>

class ControlSnapshot;
class LivePages;
class QTcpSocket;

/// The control page's web socket `/live`, as seen from the main thread: what to tell the pages
/// comes from the snapshot here; the sockets themselves are served by LivePages on a thread of
/// their own.
///
/// A page that proved the token receives every document at once, then what changed: at most one
/// message every PushIntervalMs and only when something changed (of each document only the
/// members that differ), each serialised once and sent to every page as one binary frame of UTF-8
/// JSON. Without a page nothing is built. Main thread.
class LiveUpdates : public QObject {
    Q_OBJECT
  public:
    static constexpr int PushIntervalMs = 300;

    /// `token` empty: read-only pages, no token asked.
    LiveUpdates(QByteArray token, ControlSnapshot& snapshot, QObject* parent = nullptr);
    ~LiveUpdates() override;

    /// Takes an upgrade request's socket, its head unread, whose path, Host and Origin were
    /// checked; the handshake follows on the pages' thread.
    void accept(QTcpSocket* socket);

  private:
    void welcome(quintptr page);
    void changed();
    void push();
    void tellPages();

    bool m_control;
    ControlSnapshot& m_snapshot;
    QThread m_thread;
    LivePages* m_pages;
    int m_pageCount = 0; // pages let in, as last heard from the pages' thread
    QTimer m_push;
};

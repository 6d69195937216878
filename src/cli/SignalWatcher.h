#pragma once

#include <QObject>

class QSocketNotifier;

namespace cli {

/// Turns SIGINT and SIGTERM into a signal on the main thread, so long-running subcommands stop
/// cleanly: documents closed, sockets shut, the technical log written out. One per process.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace cli

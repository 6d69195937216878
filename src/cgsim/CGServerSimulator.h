#pragma once

#include "cgsim/CGSimProject.h"
#include "cgsim/CGSimRequestHandler.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>

class CGSimServerCore;
class QThread;

/// How a simulator is set up.
struct CGServerSimulatorOptions {
    /// The API generation to speak (1 or 2).
    qint32 serverType = 1;
    /// Empty: authorization grants any password.
    QString password;
    /// A projects file, reloaded whenever it changes on disk.
    std::optional<QString> projectsFile;
    /// Projects to serve when there is no file; empty: the built-in set.
    std::optional<QList<CGSimProject>> projects;
    /// 0: an ephemeral port.
    quint16 port = 0;
    QString address = QStringLiteral("127.0.0.1");
};

/// A loopback CG server for either API generation: project and item listings, authorization,
/// text, HTML and media updates, and the change-notification socket (sub-protocol
/// "v1.1.CGUpdates") that announces every change of the project list. Admin requests:
/// GET/PUT "/admin/projects" (the projects file format), POST "/admin/notify",
/// GET "/admin/updates" (the accepted updates as an array of printed lines).
///
/// Threads: the servers run on the simulator's own thread, so a client on the creating thread
/// may block in a synchronous request. Every public member may be called from any thread;
/// signals are emitted from the simulator's thread.
class CGServerSimulator : public QObject {
    Q_OBJECT
  public:
    using Options = CGServerSimulatorOptions;
    using AcceptedUpdate = CGSimRequestHandler::AcceptedUpdate;

    explicit CGServerSimulator(Options options, QObject* parent = nullptr);
    ~CGServerSimulator() override;

    /// Loads the projects and starts listening; false with a reason on failure.
    bool start(QString* error = nullptr);
    void stop();
    bool isRunning() const { return m_core != nullptr; }

    quint16 port() const { return m_port; }
    QString host() const { return m_options.address; }
    qint32 serverType() const { return m_options.serverType; }
    /// "http://<host>:<port>" followed by `pathAndQuery` (an IPv6 host in brackets).
    QUrl httpURL(const QString& pathAndQuery = QStringLiteral("/")) const;

    QList<AcceptedUpdate> acceptedUpdates() const;
    void clearAcceptedUpdates();
    QList<CGSimProject> projects() const;
    /// Replaces the project list and tells every notification client.
    void setProjects(QList<CGSimProject> projects);
    /// Tells every notification client that the projects changed.
    void notifyProjectsChanged();
    int webSocketClientCount() const;
    /// Makes every HTTP answer wait `delay` (0: none), one request after the other, as a server
    /// under load would: for rehearsing and testing what clients do meanwhile.
    void setResponseDelay(std::chrono::milliseconds delay);
    /// Ends every notification socket with `closeCode` (a server restart, for clients' tests).
    void closeWebSocketClients(int closeCode = 1001);

  Q_SIGNALS:
    /// One accepted update as its printed JSON line.
    void updateAccepted(const QByteArray& jsonLine);
    /// Problems worth telling the operator (a projects file that did not parse).
    void diagnostic(const QString& text);

  private:
    void onCore(std::function<void(CGSimServerCore&)> work) const;

    const Options m_options;
    std::unique_ptr<CGSimRequestHandler> m_handler;
    QThread* m_thread = nullptr;
    CGSimServerCore* m_core = nullptr;
    quint16 m_port = 0;
};

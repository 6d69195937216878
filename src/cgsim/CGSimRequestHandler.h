#pragma once

#include "cgsim/CGSimProject.h"
#include "cgsim/CGSimWire.h"

#include <QByteArray>
#include <QSet>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

/// The simulated CG server's HTTP behaviour for one API generation, apart from any socket:
/// listings, authorization (a token per request; any password when none is set), updates, and
/// the admin requests that change the project list. Thread-safe.
class CGSimRequestHandler {
  public:
    struct Reply {
        int status = 200;
        QByteArray body;
        QByteArray contentType = QByteArrayLiteral("application/json");
    };

    /// An accepted update, as printed: project and item by name and identifier, and the body.
    struct AcceptedUpdate {
        QString projectName;
        QString projectID;
        QString itemName;
        QString itemID;
        CGSimWire::Update update;
        /// {"project", "item", "text"|"htmlText"|<movie key>} on one line.
        QByteArray jsonLine() const { return CGSimWire::updateLine(projectName, itemName, update); }
    };

    CGSimRequestHandler(qint32 serverType, QString password, QList<CGSimProject> projects);

    /// `encodedPath` is the raw path, `query` the raw query without "?".
    Reply handle(const QByteArray& method, const QByteArray& encodedPath, const QByteArray& query,
                 const QByteArray& body);

    qint32 serverType() const { return m_serverType; }
    QList<CGSimProject> projects() const;
    void setProjects(QList<CGSimProject> projects);
    QList<AcceptedUpdate> acceptedUpdates() const;
    void clearAcceptedUpdates();
    /// Called (on the handling thread) after an update is accepted.
    void setUpdateObserver(std::function<void(const AcceptedUpdate&)> observer);
    /// Called after an admin request changed or announced the project list.
    void setProjectsChangedObserver(std::function<void()> observer);

    /// Every HTTP answer waits this long first, holding up the ones behind it: a slow, busy server.
    void setResponseDelay(std::chrono::milliseconds delay) { m_responseDelayMs = int(delay.count()); }
    std::chrono::milliseconds responseDelay() const {
        return std::chrono::milliseconds(m_responseDelayMs.load());
    }

    /// The socket path of this generation, with its leading "/".
    QByteArray webSocketPath() const;

  private:
    Reply listItems(const QString& projectID) const;
    Reply authorize(const QByteArray& query);
    Reply update(const QString& projectID, const QString& itemID, const QByteArray& query,
                 const QByteArray& body);
    Reply admin(const QByteArray& method, const QString& action, const QByteArray& body);

    const qint32 m_serverType;
    const QString m_password;
    mutable std::mutex m_mutex;
    QList<CGSimProject> m_projects;
    QSet<QString> m_tokens;
    QList<AcceptedUpdate> m_accepted;
    std::function<void(const AcceptedUpdate&)> m_updateObserver;
    std::function<void()> m_projectsChangedObserver;
    std::atomic<int> m_responseDelayMs = 0;
};

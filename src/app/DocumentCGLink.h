#pragma once

#include "cglink/CGServerHTTPController.h"
#include "platform/MonotonicClock.h"

#include <QList>
#include <QObject>
#include <memory>
#include <optional>

/// A Graflink document's link to its CG server: the client for the server the document names, the
/// update counts across the clients it has had, and how each publishing pass goes out (every field,
/// or only the changed ones with every field again after a while).
class GraflinkVariable;

class DocumentCGLink : public QObject {
    Q_OBJECT
  public:
    explicit DocumentCGLink(QObject* parent = nullptr);
    ~DocumentCGLink() override;

    /// A client for the server at `address` (none for an empty one); the previous client goes.
    void connectTo(const QString& address, quint64 port, qint32 type, const QString& password,
                   const CGServerHTTPControllerOptions& options);
    /// Closes the client's sockets and lets it go; its counts stay in the totals.
    void release();

    CGServerHTTPController* client() const { return m_client.get(); }
    bool isConnected() const { return m_client && m_client->isConnected(); }
    CGProjectList projects() const;
    std::shared_ptr<CGProject> projectWithName(const QString& name) const;
    /// Updates the server accepted, and refused, over every client of the document.
    quint64 updatesSent() const;
    quint64 updateErrors() const;

    /// Sends `pass` with every field, or (`changesOnly`) only the fields whose value the server
    /// has not accepted yet, unless the last full pass is `fullPassSeconds` old. Nothing without a
    /// client.
    void publish(CGPublishingPass pass, bool changesOnly, double fullPassSeconds);
    /// What the bound ones of `variables` send: each its value, or its fallback when it has none.
    static CGPublishingPass passOf(const QList<GraflinkVariable*>& variables);
    /// Every field the variables are bound to, blank (Clear).
    static CGPublishingPass blankPassOf(const QList<GraflinkVariable*>& variables);

    /// The next changes-only pass sends every field, and the period starts again from it.
    void restartFullPasses() { m_lastFullPass.reset(); }
    /// Sends every field of `pass`, whatever the server accepted before (Clear).
    void publishAll(CGPublishingPass pass);

  Q_SIGNALS:
    /// The client's list of projects changed (a new client has none yet).
    void projectsChanged();
    void connectedChanged(bool connected);

  private:
    std::unique_ptr<CGServerHTTPController> m_client;
    QList<QMetaObject::Connection> m_clientConnections;
    std::optional<platform::MonotonicClock::TimePoint> m_lastFullPass;
    quint64 m_retiredUpdatesSent = 0;
    quint64 m_retiredUpdateErrors = 0;
};

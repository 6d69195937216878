#pragma once

#include "httpserver/HandlerHttpServer.h"

#include <QHostAddress>
#include <functional>
#include <optional>
#include <vector>

class DocumentHealth;
class NVSLogController;

/// The control page's buttons: `POST /documents/ID/ACTION` does to document ID (its place in the
/// opening order) what the same control of the desktop window does, through the same document
/// methods, and writes one line to the technical log (level 1) naming the client's address.
/// Authentication is the caller's. Main thread.
class ControlActions {
  public:
    enum class Action { Update, Clear, OnAir, OffAir, AutoRefreshOn, AutoRefreshOff };
    struct Target {
        std::size_t document;
        Action action;
        bool operator==(const Target&) const = default;
    };

    /// Whether `path` is an action's (under /documents/), known or not.
    static bool isActionPath(const QString& path);
    /// "/documents/3/update" → {3, Update}; also clear, on-air, off-air, auto-refresh-on and
    /// auto-refresh-off. None for any other path.
    static std::optional<Target> parse(const QString& path);

    ControlActions(std::function<std::vector<DocumentHealth*>()> documents, NVSLogController& logger);

    /// Runs the action: 200 with what was done, 404 for an unknown document or action, 409 for
    /// what the document cannot do (a data source has no CG fields).
    HandlerHttpServer::Reply perform(const QString& path, const QHostAddress& client) const;

  private:
    std::function<std::vector<DocumentHealth*>()> m_documents;
    NVSLogController& m_logger;
};

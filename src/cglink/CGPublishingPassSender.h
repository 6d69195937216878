#pragma once

#include "cglink/CGPublishingPass.h"
#include "platform/HttpRequest.h"
#include "platform/HttpResponse.h"
#include "platform/Json.h"

#include <QHash>
#include <QString>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>

class CGProject;
class CGServerHTTPController;
namespace platform::http {
class Client;
class Task;
} // namespace platform::http

/// Sends a CG server client's publishing passes: the updates of a pass one after the other, each
/// started when the answer to the previous one has arrived, through an asynchronous HTTP client
/// whose transfer loop carries every document's updates. No thread waits for a CG server: a
/// rack running a thousand documents holds a socket per update under way, not a thread.
///
/// While a pass is being sent, a newer pass replaces the one still waiting (the newest values
/// win; a full pass replaced this way makes its replacement full). Remembers the values the
/// server accepted, for change-only passes.
///
/// Threads: send() and stop() may be called from any thread; the steps run on the HTTP client's
/// transfer loop (or on the thread that starts an idle sender).
class CGPublishingPassSender {
  public:
    CGPublishingPassSender(CGServerHTTPController& controller,
                           std::shared_ptr<platform::http::Client> client);
    ~CGPublishingPassSender();
    CGPublishingPassSender(const CGPublishingPassSender&) = delete;
    CGPublishingPassSender& operator=(const CGPublishingPassSender&) = delete;

    /// Keeps `pass` as the one to send next. True when the sender is idle and nobody has asked it
    /// to start yet: the caller then calls start(), at once or after the requests it must follow.
    bool queue(CGPublishingPass pass, CGPublishingPassKind kind);
    /// Sends the waiting pass, unless a pass is under way (which then goes on with it).
    void start();

    bool isIdle() const;
    void waitUntilIdle();
    /// Drops the waiting pass, cuts the request under way short and returns once no step runs
    /// or will run.
    void stop();

    /// The value the server accepted last for an item, forgotten while an update of it is under
    /// way and when the server may have lost it.
    void forget(const QString& projectID, const QString& itemUniqueID);
    void remember(const QString& projectID, const QString& itemUniqueID, const platform::JsonValue& value,
                  bool isHTML);
    void forgetAll();

  private:
    struct Step {
        QString projectID;
        QString itemUniqueID;
        platform::JsonValue value;
        bool isHTML = false;
    };
    /// Starts the next update that must go, or ends the chain.
    void next();
    /// The next update of the pass under way (or of the waiting one) that must go; nullopt ends
    /// the chain.
    std::optional<Step> takeStep();
    bool wasAccepted(const Step& step) const;
    /// Each true when a request was started (or the chain ended); false: go on with the next.
    bool startAuthorization(Step step);
    bool startUpdate(Step step, const std::optional<QString>& token);
    void answered(const Step& step, const platform::http::Response& response);
    bool startRequest(platform::http::Request request,
                      std::function<void(platform::http::Response)> completion);
    /// Ends the chain when the sender is stopping.
    bool endIfStopped();

    CGServerHTTPController& m_controller;
    const std::shared_ptr<platform::http::Client> m_client;

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    std::optional<CGPublishingPass> m_waiting;
    CGPublishingPassKind m_waitingKind = CGPublishingPassKind::Full;
    std::optional<CGPublishingPass> m_current;
    CGPublishingPassKind m_currentKind = CGPublishingPassKind::Full;
    qsizetype m_index = 0;
    bool m_startAsked = false;
    bool m_running = false;
    bool m_stopped = false;
    std::shared_ptr<platform::http::Task> m_task;

    struct AcceptedValue {
        platform::JsonValue value;
        bool isHTML = false;
    };
    mutable std::mutex m_acceptedMutex;
    QHash<QString, AcceptedValue> m_accepted; // project and item identifiers -> value
};

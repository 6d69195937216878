#pragma once

#include "platform/FeedAuthentication.h"

#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {

class SecretStore;
namespace http {
struct Request;
}

/// What the fetches of one document's feed authenticate with: its settings, and the secret,
/// looked up in the secret store by the first fetch that needs it and then kept in memory until
/// the feed server refuses it. Made anew when the settings change. Thread-safe; shared by the
/// document and its fetches.
class FeedCredentials {
  public:
    /// Receives the line that tells why a fetch goes without credentials (never a secret).
    using Log = std::function<void(const QString& line)>;

    /// `store`: none means the process's shared store at the time of each lookup.
    FeedCredentials(FeedAuthentication settings, std::shared_ptr<SecretStore> store, Log log);

    const FeedAuthentication& settings() const { return m_settings; }

    /// Adds the credentials to a request for the feed. May block on the secret store: call it on
    /// a worker, never on the main thread. Without a usable secret the request goes as it is,
    /// and the reason is logged once (again only after a fetch had its secret in between).
    void addTo(http::Request& request);
    /// Takes note of the feed's answer: after 401 or 403 the next fetch looks the secret up again.
    void noteStatus(int statusCode);

    /// Stores the secret of `settings` for `feed` (blocking). False when the feed has no http(s)
    /// origin or the store could not take it.
    static bool storeSecret(SecretStore& store, const FeedAuthentication& settings, const QUrl& feed,
                            const QString& secret);

  private:
    std::optional<QString> secretFor(const QString& service);
    void report(const QString& problem);

    const FeedAuthentication m_settings;
    const std::shared_ptr<SecretStore> m_store;
    const Log m_log;
    std::mutex m_mutex; // one lookup at a time; guards what follows
    QString m_service;
    std::optional<QString> m_secret;
    QString m_reportedProblem;
};

} // namespace platform

#pragma once

#include "feed/FeedAuthentication.h"

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
    /// a worker, never on the main thread. No lock is held while the store is asked, so a store
    /// that blocks (an unlock prompt) holds up nothing but this request. Without a usable secret
    /// the request goes as it is, and the reason is logged once (again only after a fetch had its
    /// secret in between).
    void addTo(http::Request& request);
    /// Adds the credentials only if the secret is already in memory, without blocking; false when
    /// the store must be asked first (addTo does it).
    bool addKnownTo(http::Request& request);
    /// Takes note of the feed's answer: after 401 or 403 the next fetch looks the secret up again.
    void noteStatus(int statusCode);

    /// Stores the secret of `settings` for `feed` (blocking). False when the feed has no http(s)
    /// origin or the store could not take it.
    static bool storeSecret(SecretStore& store, const FeedAuthentication& settings, const QUrl& feed,
                            const QString& secret);

  private:
    /// The secret in memory for `service`, unless a secret was stored since it was looked up.
    std::optional<QString> knownSecret(const QString& service) const;
    std::optional<QString> lookUp(const QString& service);
    bool add(http::Request& request, const QString& service, const QString& secret);
    void report(const QString& problem);

    const FeedAuthentication m_settings;
    const std::shared_ptr<SecretStore> m_store;
    const Log m_log;
    mutable std::mutex m_mutex; // guards what follows; never held while the store is asked
    QString m_service;
    std::optional<QString> m_secret;
    quint64 m_secretStoredCount = 0; // secrets stored in this process when it was looked up
    QString m_reportedProblem;
};

} // namespace platform

#include "feed/FeedCredentials.h"

#include "platform/HttpRequest.h"
#include "platform/SecretStore.h"

#include <atomic>

namespace platform {

FeedCredentials::FeedCredentials(FeedAuthentication settings, std::shared_ptr<SecretStore> store, Log log)
    : m_settings(std::move(settings)), m_store(std::move(store)), m_log(std::move(log)) {}

namespace {

/// Secrets stored in this process: a new one (Sign-in…) makes every document look its secret up
/// again at its next fetch, not only after the server refused the old one.
std::atomic<quint64> secretsStored{0};

} // namespace

void FeedCredentials::addTo(http::Request& request) {
    if (!m_settings.isEnabled())
        return;
    const QString service = FeedAuthentication::secretService(request.url);
    if (service.isEmpty())
        return;
    std::optional<QString> secret = knownSecret(service);
    if (!secret)
        secret = lookUp(service);
    if (secret)
        add(request, service, *secret);
}

bool FeedCredentials::addKnownTo(http::Request& request) {
    if (!m_settings.isEnabled())
        return true;
    const QString service = FeedAuthentication::secretService(request.url);
    if (service.isEmpty())
        return true;
    const std::optional<QString> secret = knownSecret(service);
    if (!secret)
        return false;
    add(request, service, *secret);
    return true;
}

bool FeedCredentials::add(http::Request& request, const QString& service, const QString& secret) {
    std::lock_guard lock(m_mutex);
    if (!m_settings.addTo(request, secret)) {
        report(QStringLiteral("Feed authentication: the secret stored for %1 is not of the form the "
                              "scheme “%2” needs; fetching without credentials")
                   .arg(service, FeedAuthentication::schemeName(m_settings.scheme)));
        return false;
    }
    m_reportedProblem.clear();
    return true;
}

void FeedCredentials::noteStatus(int statusCode) {
    if (statusCode != 401 && statusCode != 403)
        return;
    std::lock_guard lock(m_mutex);
    m_secret.reset();
}

std::optional<QString> FeedCredentials::knownSecret(const QString& service) const {
    std::lock_guard lock(m_mutex);
    if (m_secret && m_service == service && m_secretStoredCount == secretsStored.load())
        return m_secret;
    return std::nullopt;
}

std::optional<QString> FeedCredentials::lookUp(const QString& service) {
    const quint64 storedCount = secretsStored.load();
    const std::shared_ptr<SecretStore> store = m_store ? m_store : SecretStore::shared();
    const SecretStore::Lookup found =
        store ? store->find(service, m_settings.account) : SecretStore::Lookup();
    std::lock_guard lock(m_mutex);
    switch (found.status) {
    case SecretStore::Status::Found:
        m_service = service;
        m_secret = found.secret;
        m_secretStoredCount = storedCount;
        return found.secret;
    case SecretStore::Status::NotFound:
        m_secret.reset();
        report(QStringLiteral("Feed authentication: no secret is stored for %1 (account %2); fetching "
                              "without credentials")
                   .arg(service, m_settings.account));
        break;
    case SecretStore::Status::Unavailable:
        m_secret.reset();
        report(QStringLiteral("Feed authentication: the keychain is not available; fetching %1 without "
                              "credentials")
                   .arg(service));
        break;
    }
    return std::nullopt;
}

void FeedCredentials::report(const QString& problem) {
    if (problem == m_reportedProblem)
        return;
    m_reportedProblem = problem;
    if (m_log)
        m_log(problem);
}

bool FeedCredentials::storeSecret(SecretStore& store, const FeedAuthentication& settings, const QUrl& feed,
                                  const QString& secret) {
    const QString service = FeedAuthentication::secretService(feed);
    if (service.isEmpty() || settings.account.isEmpty())
        return false;
    const bool stored = store.store(service, settings.account,
                                    QStringLiteral("Feed credentials for %1").arg(service), secret);
    if (stored)
        secretsStored.fetch_add(1);
    return stored;
}

} // namespace platform

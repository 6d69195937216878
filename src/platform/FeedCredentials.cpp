#include "platform/FeedCredentials.h"

#include "platform/HttpRequest.h"
#include "platform/SecretStore.h"

namespace platform {

FeedCredentials::FeedCredentials(FeedAuthentication settings, std::shared_ptr<SecretStore> store, Log log)
    : m_settings(std::move(settings)), m_store(std::move(store)), m_log(std::move(log)) {}

void FeedCredentials::addTo(http::Request& request) {
    if (!m_settings.isEnabled())
        return;
    const QString service = FeedAuthentication::secretService(request.url);
    if (service.isEmpty())
        return;
    std::lock_guard lock(m_mutex);
    const std::optional<QString> secret = secretFor(service);
    if (!secret)
        return;
    if (!m_settings.addTo(request, *secret)) {
        report(QStringLiteral("Feed authentication: the secret stored for %1 is not of the form the "
                              "scheme “%2” needs; fetching without credentials")
                   .arg(service, FeedAuthentication::schemeName(m_settings.scheme)));
        return;
    }
    m_reportedProblem.clear();
}

void FeedCredentials::noteStatus(int statusCode) {
    if (statusCode != 401 && statusCode != 403)
        return;
    std::lock_guard lock(m_mutex);
    m_secret.reset();
}

std::optional<QString> FeedCredentials::secretFor(const QString& service) {
    if (m_secret && m_service == service)
        return m_secret;
    m_secret.reset();
    const std::shared_ptr<SecretStore> store = m_store ? m_store : SecretStore::shared();
    const SecretStore::Lookup found =
        store ? store->find(service, m_settings.account) : SecretStore::Lookup();
    switch (found.status) {
    case SecretStore::Status::Found:
        m_service = service;
        m_secret = found.secret;
        break;
    case SecretStore::Status::NotFound:
        report(QStringLiteral("Feed authentication: no secret is stored for %1 (account %2); fetching "
                              "without credentials")
                   .arg(service, m_settings.account));
        break;
    case SecretStore::Status::Unavailable:
        report(QStringLiteral("Feed authentication: the keychain is not available; fetching %1 without "
                              "credentials")
                   .arg(service));
        break;
    }
    return m_secret;
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
    return store.store(service, settings.account, QStringLiteral("Feed credentials for %1").arg(service),
                       secret);
}

} // namespace platform

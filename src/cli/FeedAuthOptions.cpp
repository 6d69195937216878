#include "cli/FeedAuthOptions.h"

#include "feed/FeedCredentials.h"
#include "platform/SecretStore.h"

namespace cli {

using platform::FeedAuthentication;
using Scheme = FeedAuthentication::Scheme;

namespace {

const QString AuthOption = QStringLiteral("--feed-auth");
const QString UserOption = QStringLiteral("--feed-user");
const QString HeaderOption = QStringLiteral("--feed-header");
const QString SecretEnvOption = QStringLiteral("--feed-secret-env");
const QString HeaderEnvOption = QStringLiteral("--feed-header-env");

// The value of an environment variable, or why it cannot be used (its value never appears).
std::optional<QString> environmentValue(const QString& variable, QString* reason) {
    if (variable.isEmpty() || !qEnvironmentVariableIsSet(variable.toLocal8Bit().constData())) {
        *reason = QStringLiteral("the environment variable “%1” is not set").arg(variable);
        return std::nullopt;
    }
    return qEnvironmentVariable(variable.toLocal8Bit().constData());
}

} // namespace

bool FeedAuthOptions::handles(const QString& option) {
    return option == AuthOption || option == UserOption || option == HeaderOption ||
           option == SecretEnvOption || option == HeaderEnvOption;
}

std::optional<QString> FeedAuthOptions::take(const QString& option, const QString& value) {
    m_given = true;
    QString reason;
    if (option == AuthOption) {
        m_scheme = FeedAuthentication::schemeNamed(value);
        if (!m_scheme)
            return QStringLiteral("--feed-auth takes none, basic, bearer or headers");
    } else if (option == UserOption) {
        m_user = value;
    } else if (option == HeaderOption || option == HeaderEnvOption) {
        const qsizetype equals = value.indexOf(QLatin1Char('='));
        const QString name = option == HeaderOption ? value : value.left(equals);
        if (option == HeaderEnvOption && equals < 0)
            return QStringLiteral("--feed-header-env takes NAME=VARIABLE");
        if (!FeedAuthentication::isValidHeaderName(name))
            return QStringLiteral("not a header name: %1").arg(name);
        if (!m_headerNames.contains(name))
            m_headerNames.append(name);
        if (option == HeaderEnvOption) {
            const std::optional<QString> secret = environmentValue(value.mid(equals + 1), &reason);
            if (!secret)
                return reason;
            m_headerValues.insert(name, *secret);
        }
    } else if (option == SecretEnvOption) {
        m_secret = environmentValue(value, &reason);
        if (!m_secret)
            return reason;
    }
    return std::nullopt;
}

std::optional<FeedAuthentication> FeedAuthOptions::apply(const FeedAuthentication& current,
                                                         QString* reason) const {
    FeedAuthentication result = current;
    if (m_scheme && *m_scheme != current.scheme) {
        result = FeedAuthentication();
        result.scheme = *m_scheme;
    }
    if (m_user)
        result.user = *m_user;
    if (!m_headerNames.isEmpty())
        result.headerNames = m_headerNames;
    const auto refuse = [&](const QString& text) {
        *reason = text;
        return std::nullopt;
    };
    switch (result.scheme) {
    case Scheme::None:
        if (m_user || !m_headerNames.isEmpty() || m_secret)
            return refuse(QStringLiteral("the feed options need --feed-auth basic, bearer or headers"));
        break;
    case Scheme::Basic:
        if (result.user.isEmpty())
            return refuse(QStringLiteral("--feed-auth basic needs --feed-user"));
        [[fallthrough]];
    case Scheme::Bearer:
        if (!m_headerNames.isEmpty())
            return refuse(QStringLiteral("--feed-header is for --feed-auth headers"));
        break;
    case Scheme::Headers:
        if (result.headerNames.isEmpty())
            return refuse(QStringLiteral("--feed-auth headers needs --feed-header or --feed-header-env"));
        if (m_secret)
            return refuse(QStringLiteral("--feed-secret-env is for basic and bearer; use --feed-header-env"));
        break;
    }
    if (m_user && result.scheme != Scheme::Basic)
        return refuse(QStringLiteral("--feed-user is for --feed-auth basic"));
    return result.normalized();
}

std::optional<QString> FeedAuthOptions::storeSecret(const FeedAuthentication& settings,
                                                    const QUrl& feed) const {
    if (!m_secret && m_headerValues.isEmpty())
        return std::nullopt;
    if (FeedAuthentication::secretService(feed).isEmpty())
        return QStringLiteral("a feed secret needs an http or https feed address");
    const std::shared_ptr<platform::SecretStore> store = platform::SecretStore::shared();
    const QString secret =
        settings.scheme == Scheme::Headers ? FeedAuthentication::headersSecret(m_headerValues) : *m_secret;
    if (!store || !platform::FeedCredentials::storeSecret(*store, settings, feed, secret))
        return QStringLiteral("the keychain is not available; the feed secret was not stored");
    return std::nullopt;
}

} // namespace cli

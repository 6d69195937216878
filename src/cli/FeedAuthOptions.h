#pragma once

#include "feed/FeedAuthentication.h"

#include <QMap>
#include <QString>
#include <QUrl>
#include <optional>

namespace cli {

/// The feed-authentication options of `new` and `datasource set`. The settings go into the file;
/// the secret is read from the environment (never from the command line, which `ps` shows) and
/// goes into the keychain.
class FeedAuthOptions {
  public:
    /// Whether `option` is one of these (each takes a value).
    static bool handles(const QString& option);
    /// Takes one option and its value; the reason when the value cannot be used.
    std::optional<QString> take(const QString& option, const QString& value);
    bool isEmpty() const { return !m_given; }

    /// `current` changed by the options taken, or the reason the result would not work.
    std::optional<platform::FeedAuthentication> apply(const platform::FeedAuthentication& current,
                                                      QString* reason) const;
    /// Puts the secret given (if any) in the process's secret store for `feed` (blocking). The
    /// reason when it could not.
    std::optional<QString> storeSecret(const platform::FeedAuthentication& settings, const QUrl& feed) const;

  private:
    bool m_given = false;
    std::optional<platform::FeedAuthentication::Scheme> m_scheme;
    std::optional<QString> m_user;
    QStringList m_headerNames;
    std::optional<QString> m_secret;
    QMap<QString, QString> m_headerValues;
};

} // namespace cli

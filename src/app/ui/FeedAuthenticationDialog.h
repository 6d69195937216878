#pragma once

#include "feed/FeedAuthentication.h"

#include <QDialog>
#include <QMap>
#include <functional>
#include <memory>

namespace platform {
class SecretStore;
}
class QUndoCommand;

namespace Ui {
class FeedAuthentication;
}

/// How the document's feed requests sign in: none, Basic, a Bearer token or custom headers. OK
/// stores a new secret in the keychain (off the main thread) and then hands the settings to
/// `apply` (the window makes it an undoable edit); a secret the keychain refuses changes
/// nothing and says so. Cancel changes nothing. Window-modal.
class FeedAuthenticationDialog : public QDialog {
    Q_OBJECT
  public:
    using Apply = std::function<void(const platform::FeedAuthentication& settings)>;

    /// `current`: the settings in force; `feed`: the feed address when OK is pressed (the secret
    /// is kept for its server); `store`: where the secret goes (none: the keychain is missing).
    FeedAuthenticationDialog(const platform::FeedAuthentication& current, std::function<QUrl()> feed,
                             std::shared_ptr<platform::SecretStore> store, Apply apply,
                             QWidget* parent = nullptr);
    ~FeedAuthenticationDialog() override;

    void accept() override;

    /// The undo step that changes the settings from what `get` reads to `settings` through
    /// `set` (the secret stays in the keychain, outside undo).
    static QUndoCommand* changeStep(std::function<platform::FeedAuthentication()> get,
                                    std::function<void(const platform::FeedAuthentication&)> set,
                                    const platform::FeedAuthentication& settings);

  private:
    platform::FeedAuthentication::Scheme scheme() const;
    void showScheme();
    void fail(const QString& message);

    platform::FeedAuthentication m_current;
    std::function<QUrl()> m_feed;
    std::shared_ptr<platform::SecretStore> m_store;
    Apply m_apply;
    std::unique_ptr<Ui::FeedAuthentication> m_ui;
    bool m_storing = false;
};

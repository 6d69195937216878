#pragma once

#include "platform/FeedAuthentication.h"

#include <QDialog>
#include <QMap>
#include <functional>
#include <memory>

class GraflinkDocument;

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

    FeedAuthenticationDialog(GraflinkDocument& document, Apply apply, QWidget* parent = nullptr);
    ~FeedAuthenticationDialog() override;

    void accept() override;

  private:
    platform::FeedAuthentication::Scheme scheme() const;
    void showScheme();
    void fail(const QString& message);

    GraflinkDocument& m_document;
    Apply m_apply;
    std::unique_ptr<Ui::FeedAuthentication> m_ui;
    bool m_storing = false;
};

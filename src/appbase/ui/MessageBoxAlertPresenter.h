#pragma once

#include "appbase/AlertPresenter.h"

#include <functional>

class QMessageBox;

/// Alerts as application-modal message boxes. The message text is the title, the informative
/// text the message; buttons are added in order, the first being the default.
class MessageBoxAlertPresenter : public AlertPresenter {
  public:
    int runModal(Style style, const QString& title, const QString& message,
                 const QStringList& buttonTitles) override;

    /// Called with the box just before it runs (tests press a button from here).
    void setAboutToRun(std::function<void(QMessageBox&)> hook) { m_aboutToRun = std::move(hook); }

  private:
    std::function<void(QMessageBox&)> m_aboutToRun;
};

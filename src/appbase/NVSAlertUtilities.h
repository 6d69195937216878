#pragma once

#include "appbase/AlertPresenter.h"
#include "platform/Error.h"

#include <memory>
#include <optional>

/// Modal alerts in one call, and errors in the application's own domain
/// ("<bundle identifier>.ErrorDomain").
class NVSAlertUtilities {
  public:
    /// Installs the presenter alerts go through (the console presenter until one is set).
    static void setPresenter(std::shared_ptr<AlertPresenter> presenter);
    static std::shared_ptr<AlertPresenter> presenter();

    /// Runs on the main thread; returns 1000 for the first button, 1001 for the second, ...
    static int runAlertPanel(AlertPresenter::Style style, const QString& title, const QString& message,
                             const QStringList& buttonTitles);
    static int runCriticalAlertPanel(const QString& title, const QString& message,
                                     const QStringList& buttonTitles);
    static int runWarningAlertPanel(const QString& title, const QString& message,
                                    const QStringList& buttonTitles);
    static int runInformationalAlertPanel(const QString& title, const QString& message,
                                          const QStringList& buttonTitles);

    static QString errorDomain();
    /// An error with only the texts that were given in its user information.
    static platform::Error errorWithCode(int code, const std::optional<QString>& localizedErrorDescription,
                                         const std::optional<QString>& localizedFailureReason);
    static platform::Error errorWithCodeAndDescription(int code, const QString& localizedErrorDescription);
    static platform::Error errorWithCodeAndFailureReason(int code, const QString& localizedFailureReason);
};

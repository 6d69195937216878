#include "appbase/NVSAlertUtilities.h"

#include "platform/BundleInfo.h"

#include <mutex>

namespace {
std::mutex presenterMutex;
std::shared_ptr<AlertPresenter> currentPresenter;
} // namespace

void NVSAlertUtilities::setPresenter(std::shared_ptr<AlertPresenter> presenter) {
    std::lock_guard lock(presenterMutex);
    currentPresenter = std::move(presenter);
}

std::shared_ptr<AlertPresenter> NVSAlertUtilities::presenter() {
    std::lock_guard lock(presenterMutex);
    if (!currentPresenter)
        currentPresenter = std::make_shared<ConsoleAlertPresenter>();
    return currentPresenter;
}

int NVSAlertUtilities::runAlertPanel(AlertPresenter::Style style, const QString& title,
                                     const QString& message, const QStringList& buttonTitles) {
    return presenter()->runModal(style, title, message, buttonTitles);
}

int NVSAlertUtilities::runCriticalAlertPanel(const QString& title, const QString& message,
                                             const QStringList& buttonTitles) {
    return runAlertPanel(AlertPresenter::Style::Critical, title, message, buttonTitles);
}

int NVSAlertUtilities::runWarningAlertPanel(const QString& title, const QString& message,
                                            const QStringList& buttonTitles) {
    return runAlertPanel(AlertPresenter::Style::Warning, title, message, buttonTitles);
}

int NVSAlertUtilities::runInformationalAlertPanel(const QString& title, const QString& message,
                                                  const QStringList& buttonTitles) {
    return runAlertPanel(AlertPresenter::Style::Informational, title, message, buttonTitles);
}

QString NVSAlertUtilities::errorDomain() {
    return platform::BundleInfo::bundleIdentifier() + QStringLiteral(".ErrorDomain");
}

platform::Error NVSAlertUtilities::errorWithCode(int code,
                                                 const std::optional<QString>& localizedErrorDescription,
                                                 const std::optional<QString>& localizedFailureReason) {
    QVariantMap userInfo;
    if (localizedErrorDescription)
        userInfo.insert(platform::Error::LocalizedDescriptionKey, *localizedErrorDescription);
    if (localizedFailureReason)
        userInfo.insert(platform::Error::LocalizedFailureReasonKey, *localizedFailureReason);
    return platform::Error(errorDomain(), code, userInfo);
}

platform::Error NVSAlertUtilities::errorWithCodeAndDescription(int code,
                                                               const QString& localizedErrorDescription) {
    return errorWithCode(code, localizedErrorDescription, std::nullopt);
}

platform::Error NVSAlertUtilities::errorWithCodeAndFailureReason(int code,
                                                                 const QString& localizedFailureReason) {
    return errorWithCode(code, std::nullopt, localizedFailureReason);
}

#include "appbase/LogNotifications.h"

#include "platform/UserNotificationCenter.h"
#include "platform/Uuid.h"

LogNotifications::LogNotifications(std::shared_ptr<platform::UserNotificationCenter> center)
    : m_center(std::move(center)) {}

void LogNotifications::display(const QString& title, const QString& message,
                               const std::optional<QString>& category) {
    if (!m_center || !canDisplay())
        return;
    platform::UserNotificationRequest request;
    request.identifier = platform::Uuid::createString();
    request.title = title;
    request.body = message;
    request.categoryIdentifier =
        category && !category->isEmpty() ? *category : QStringLiteral("WarningNotification");
    m_center->add(request);
}

bool LogNotifications::canDisplay() {
    if (m_center)
        std::call_once(m_checked, [this] { checkAuthorization(); });
    return m_canDisplay->load();
}

void LogNotifications::checkAuthorization() {
    if (!m_center)
        return;
    using Status = platform::NotificationAuthorizationStatus;
    switch (m_center->authorizationStatus()) {
    case Status::Authorized:
    case Status::Provisional:
        *m_canDisplay = true;
        break;
    case Status::Denied:
        *m_canDisplay = false;
        break;
    case Status::NotDetermined:
        m_center->requestAuthorization(platform::UserNotificationCenter::AlertSoundBadge,
                                       [canDisplay = m_canDisplay](bool granted) { *canDisplay = granted; });
        break;
    }
}

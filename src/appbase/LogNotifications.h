#pragma once

#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {
class UserNotificationCenter;
}

/// The desktop notifications of the technical log (critical messages): asks the notification
/// center for permission when first needed (a run that posts nothing never reaches the bus), and
/// posts only while it is given. Without a center, nothing is posted.
///
/// Threads: any; the permission may arrive later on the center's thread.
class LogNotifications {
  public:
    explicit LogNotifications(std::shared_ptr<platform::UserNotificationCenter> center);

    /// Posts one notification; `category` defaults to "WarningNotification" when empty.
    void display(const QString& title, const QString& message, const std::optional<QString>& category);
    /// Whether notifications may be posted; the first call asks the center.
    bool canDisplay();

  private:
    /// Takes the center's current permission, asking the user when it was never given nor refused.
    void checkAuthorization();

    std::shared_ptr<platform::UserNotificationCenter> m_center;
    std::once_flag m_checked;
    // Shared with a permission answer, which may arrive after the notifications are gone.
    std::shared_ptr<std::atomic<bool>> m_canDisplay = std::make_shared<std::atomic<bool>>(false);
};

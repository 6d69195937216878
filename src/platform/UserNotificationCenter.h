#pragma once

#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

namespace platform {

enum class NotificationAuthorizationStatus { NotDetermined = 0, Denied = 1, Authorized = 2, Provisional = 3 };

struct UserNotificationRequest {
    QString identifier;
    QString title;
    QString body;
    /// Empty when the notification has no category.
    QString categoryIdentifier;
    bool sound = false;
};

/// A button of a notification: its identifier (what a response reports) and title.
struct UserNotificationAction {
    QString identifier;
    QString title;
    /// Option bits as the application gives them (4: bring the application to the foreground).
    int options = 0;
};

/// A kind of notification: the actions its notifications offer.
struct UserNotificationCategory {
    QString identifier;
    QList<UserNotificationAction> actions;
    int options = 0;
};

/// The user's answer to a notification: which action was chosen.
struct UserNotificationResponse {
    QString actionIdentifier;
};

/// The system's user notifications. `current()` is the desktop's notification service
/// (freedesktop Notifications over the session D-Bus); programs and tests may install another.
class UserNotificationCenter {
  public:
    /// Authorisation option bits: alert, sound, badge.
    static constexpr int AlertSoundBadge = 7;

    virtual ~UserNotificationCenter();

    /// Asks the system and waits for its answer (bounded: an unresponsive bus means "denied").
    virtual NotificationAuthorizationStatus authorizationStatus() = 0;
    /// Answers, possibly later and on another thread, whether notifications were allowed.
    virtual void requestAuthorization(int options, std::function<void(bool granted)> completion) = 0;
    /// Posts a notification for immediate delivery. Never blocks the caller.
    virtual void add(const UserNotificationRequest& request) = 0;

    /// The kinds of notification the application posts; a posted request's category gives its buttons.
    virtual void setNotificationCategories(const QList<UserNotificationCategory>& categories);
    /// Called, on the main thread, when the user chooses an action of a notification.
    virtual void setResponseHandler(std::function<void(const UserNotificationResponse&)> handler);

    /// While the application is the one the user works in, notifications are not presented: its
    /// windows already say what happened. Set by the application as its state changes; any thread.
    void setApplicationFrontmost(bool frontmost) { m_applicationFrontmost.store(frontmost); }
    bool isApplicationFrontmost() const { return m_applicationFrontmost.load(); }

    static std::shared_ptr<UserNotificationCenter> current();
    static void setCurrent(std::shared_ptr<UserNotificationCenter> center);

  private:
    std::atomic<bool> m_applicationFrontmost{false};
};

} // namespace platform

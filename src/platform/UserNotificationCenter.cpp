#include "platform/UserNotificationCenter.h"

#include "platform/DBusUserNotificationCenter.h"

#include <mutex>

namespace platform {

namespace {
std::mutex currentMutex;
std::shared_ptr<UserNotificationCenter> currentCenter;
} // namespace

UserNotificationCenter::~UserNotificationCenter() = default;

void UserNotificationCenter::setNotificationCategories(const QList<UserNotificationCategory>&) {}

void UserNotificationCenter::setResponseHandler(std::function<void(const UserNotificationResponse&)>) {}

std::shared_ptr<UserNotificationCenter> UserNotificationCenter::current() {
    std::lock_guard lock(currentMutex);
    if (!currentCenter)
        currentCenter = std::make_shared<DBusUserNotificationCenter>();
    return currentCenter;
}

void UserNotificationCenter::setCurrent(std::shared_ptr<UserNotificationCenter> center) {
    std::lock_guard lock(currentMutex);
    currentCenter = std::move(center);
}

} // namespace platform

#pragma once

#include "platform/MainQueue.h"
#include "platform/UserNotificationCenter.h"

#include <atomic>
#include <mutex>
#include <semaphore>

namespace testing_support {

/// The desktop's notification service as the program sees it: answers with a chosen status and
/// records what was posted. `answerOnMainThread` delivers the settings through the main thread, as
/// a service whose answers arrive on the application's thread would: waiting for it there never ends.
class RecordingNotificationCenter : public platform::UserNotificationCenter {
  public:
    explicit RecordingNotificationCenter(platform::NotificationAuthorizationStatus initial =
                                             platform::NotificationAuthorizationStatus::Authorized)
        : status(initial) {}

    platform::NotificationAuthorizationStatus authorizationStatus() override {
        if (answerOnMainThread && !platform::MainQueue::isMainThread()) {
            std::binary_semaphore answered(0);
            platform::MainQueue::dispatchAsync([&] { answered.release(); });
            answered.acquire();
        }
        return status;
    }
    void requestAuthorization(int options, std::function<void(bool)> completion) override {
        ++authorizationRequests;
        requestedOptions = options;
        completion(grantOnRequest);
    }
    void add(const platform::UserNotificationRequest& request) override {
        std::lock_guard lock(mutex);
        posted.append(request);
    }
    void setNotificationCategories(const QList<platform::UserNotificationCategory>& list) override {
        categories = list;
    }
    void setResponseHandler(std::function<void(const platform::UserNotificationResponse&)> handler) override {
        respond = std::move(handler);
    }
    QList<platform::UserNotificationRequest> postedRequests() {
        std::lock_guard lock(mutex);
        return posted;
    }

    platform::NotificationAuthorizationStatus status;
    bool answerOnMainThread = false;
    bool grantOnRequest = false;
    int requestedOptions = -1;
    std::atomic<int> authorizationRequests = 0;
    QList<platform::UserNotificationCategory> categories;
    std::function<void(const platform::UserNotificationResponse&)> respond;

  private:
    std::mutex mutex;
    QList<platform::UserNotificationRequest> posted;
};

} // namespace testing_support

#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>
#include <semaphore>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

using platform::Notification;
using platform::NotificationCenter;
using platform::NotificationObservation;

TEST(NotificationCenter, DeliversByNameAndSenderOnThePostingThread) {
    NotificationCenter center;
    int first = 0, second = 0;
    QStringList everything;
    std::thread::id deliveredOn;
    const int senderA = 0, senderB = 0;
    NotificationObservation byName(center, u"ContentUpdated"_s, nullptr, [&](const Notification& n) {
        ++first;
        deliveredOn = std::this_thread::get_id();
        EXPECT_EQ(n.userInfo.value(u"rows"_s).toInt(), 3);
    });
    NotificationObservation bySender(center, u"ContentUpdated"_s, &senderB,
                                     [&](const Notification&) { ++second; });
    NotificationObservation all(center, QString(), nullptr,
                                [&](const Notification& n) { everything.append(n.name); });

    std::thread poster([&] { center.post(u"ContentUpdated"_s, &senderA, {{u"rows"_s, 3}}); });
    const std::thread::id posterId = poster.get_id();
    poster.join();
    EXPECT_EQ(deliveredOn, posterId);
    center.post(u"ContentUpdated"_s, &senderB, {{u"rows"_s, 3}});
    center.post(u"Other"_s, &senderB);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(everything, QStringList({u"ContentUpdated"_s, u"ContentUpdated"_s, u"Other"_s}));
}

TEST(NotificationCenter, AnObserverMayRemoveItselfWhileBeingCalled) {
    NotificationCenter center;
    int calls = 0;
    NotificationCenter::ObserverId id = 0;
    id = center.addObserver(u"Once"_s, nullptr, [&](const Notification&) {
        ++calls;
        center.removeObserver(id);
    });
    center.post(u"Once"_s);
    center.post(u"Once"_s);
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenter, NoCallbackRunsAfterRemovalReturns) {
    NotificationCenter center;
    std::binary_semaphore inCallback{0};
    std::binary_semaphore release{0};
    std::atomic<bool> removalReturned{false};
    std::atomic<bool> calledAfterRemoval{false};
    const auto id = center.addObserver(u"Slow"_s, nullptr, [&](const Notification&) {
        if (removalReturned)
            calledAfterRemoval = true;
        inCallback.release();
        release.acquire();
        if (removalReturned)
            calledAfterRemoval = true;
    });
    std::thread poster([&] { center.post(u"Slow"_s); });
    inCallback.acquire();
    std::thread remover([&] {
        center.removeObserver(id); // waits for the running delivery
        removalReturned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(removalReturned) << "removal must wait for the delivery in progress";
    release.release();
    poster.join();
    remover.join();
    center.post(u"Slow"_s);
    EXPECT_FALSE(calledAfterRemoval);
}

} // namespace

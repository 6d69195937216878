#pragma once

#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

struct Notification {
    QString name;
    const void* sender = nullptr;
    QVariantMap userInfo;
};

/// Named notifications from any sender to any number of observers, delivered synchronously on
/// the posting thread in the order observers were added.
///
/// Thread-safe. Once `removeObserver()` has returned, that observer's callback is not running and
/// will not run again (a callback may remove itself or others while it runs).
class NotificationCenter {
  public:
    using Callback = std::function<void(const Notification&)>;
    using ObserverId = std::uint64_t;

    /// The process-wide centre.
    static NotificationCenter& defaultCenter();

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    /// An empty `name` observes every notification; a null `sender` observes every sender.
    ObserverId addObserver(const QString& name, const void* sender, Callback callback);
    void removeObserver(ObserverId id);
    void post(const QString& name, const void* sender = nullptr, const QVariantMap& userInfo = {});

  private:
    struct Entry {
        ObserverId id;
        QString name;
        const void* sender;
        Callback callback;
        std::recursive_mutex deliveryMutex;
        bool alive = true;
    };
    std::mutex m_mutex;
    std::vector<std::shared_ptr<Entry>> m_entries;
    ObserverId m_nextId = 1;
};

/// Removes its observer when destroyed: the usual way for an object to observe for its lifetime.
class NotificationObservation {
  public:
    NotificationObservation() = default;
    NotificationObservation(NotificationCenter& center, const QString& name, const void* sender,
                            NotificationCenter::Callback callback)
        : m_center(&center), m_id(center.addObserver(name, sender, std::move(callback))) {}
    ~NotificationObservation() { reset(); }
    NotificationObservation(NotificationObservation&& other) noexcept
        : m_center(std::exchange(other.m_center, nullptr)), m_id(std::exchange(other.m_id, 0)) {}
    NotificationObservation& operator=(NotificationObservation&& other) noexcept {
        if (this != &other) {
            reset();
            m_center = std::exchange(other.m_center, nullptr);
            m_id = std::exchange(other.m_id, 0);
        }
        return *this;
    }
    void reset() {
        if (m_center)
            m_center->removeObserver(m_id);
        m_center = nullptr;
        m_id = 0;
    }

  private:
    NotificationCenter* m_center = nullptr;
    NotificationCenter::ObserverId m_id = 0;
};

} // namespace platform

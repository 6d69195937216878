#include "platform/NotificationCenter.h"

#include <algorithm>

namespace platform {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::ObserverId NotificationCenter::addObserver(const QString& name, const void* sender,
                                                               Callback callback) {
    std::lock_guard lock(m_mutex);
    auto entry = std::make_shared<Entry>();
    entry->id = m_nextId++;
    entry->name = name;
    entry->sender = sender;
    entry->callback = std::move(callback);
    m_entries.push_back(entry);
    return entry->id;
}

void NotificationCenter::removeObserver(ObserverId id) {
    std::shared_ptr<Entry> removed;
    {
        std::lock_guard lock(m_mutex);
        auto it =
            std::find_if(m_entries.begin(), m_entries.end(), [id](const auto& e) { return e->id == id; });
        if (it == m_entries.end())
            return;
        removed = *it;
        m_entries.erase(it);
    }
    // Waits for a delivery in progress on another thread; re-entrant on the delivering thread.
    std::lock_guard delivery(removed->deliveryMutex);
    removed->alive = false;
}

void NotificationCenter::post(const QString& name, const void* sender, const QVariantMap& userInfo) {
    std::vector<std::shared_ptr<Entry>> targets;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& entry : m_entries) {
            if ((entry->name.isEmpty() || entry->name == name) && (!entry->sender || entry->sender == sender))
                targets.push_back(entry);
        }
    }
    const Notification notification{name, sender, userInfo};
    for (const auto& entry : targets) {
        std::lock_guard delivery(entry->deliveryMutex);
        if (entry->alive && entry->callback)
            entry->callback(notification);
    }
}

} // namespace platform

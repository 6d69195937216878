#pragma once

#include <QStringList>
#include <memory>
#include <mutex>
#include <optional>

/// One document's paths in the form a feed is answered in without its full parse
/// (platform::StreamedLocationPaths for XML, platform::StreamedKeyPaths for JSON): made again only
/// when the paths change, and given up for them once the feed needed its full parse, so later
/// refreshes parse in full at once. Any thread.
template <class Paths> class StreamedPathsCache {
  public:
    /// Null when the paths cannot be answered that way, or were given up.
    std::shared_ptr<const Paths> pathsFor(QStringList paths) {
        std::lock_guard lock(m_mutex);
        if (m_madeFor != paths) {
            m_paths = Paths::make(paths);
            m_madeFor = std::move(paths);
        }
        return m_paths;
    }

    /// Whether paths were made (or given up) for some list already: a first refresh has none.
    bool isMade() {
        std::lock_guard lock(m_mutex);
        return m_madeFor.has_value();
    }

    void giveUp(const std::shared_ptr<const Paths>& paths) {
        std::lock_guard lock(m_mutex);
        if (m_paths == paths)
            m_paths.reset();
    }

  private:
    std::mutex m_mutex; // guards the two that follow
    std::optional<QStringList> m_madeFor;
    std::shared_ptr<const Paths> m_paths;
};

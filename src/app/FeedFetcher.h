#pragma once

#include "app/FeedResponse.h"

#include <QString>
#include <functional>
#include <memory>

namespace platform {
class FeedCredentials;
namespace http {
class Client;
class Task;
} // namespace http
} // namespace platform

/// One fetch of a feed on a fresh connection: GET the address, then interpret and parse the
/// response once, off the main thread.
class FeedFetcher {
  public:
    struct Timeouts {
        double request;
        double resource;
    };
    /// Bounds of one fetch: its time-outs and the largest body taken in (after decompression).
    struct Limits {
        Timeouts timeouts;
        qint64 maximumBodySize;
    };
    /// Refreshes bound the network part of a refresh.
    static constexpr Timeouts RefreshTimeouts{10.0, 20.0};
    /// The inventory keeps the platform's defaults.
    static constexpr Timeouts InventoryTimeouts{60.0, 7.0 * 24 * 3600};

    /// Whether `address` is an http(s) URL with a host; otherwise `reason` says why not.
    static bool isUsableAddress(const QString& address, QString* reason = nullptr);

    /// Starts the fetch; `completion` runs exactly once on a worker thread with the result (a
    /// failed result when the address is not usable, without touching the network). Returns the
    /// task, or null when nothing was started. `credentials` (may be null) are added on a worker
    /// of the client, since they may come from the keychain. `wanted` gives the paths the feed is
    /// wanted for, on the worker (FeedResponse::interpret).
    static std::shared_ptr<platform::http::Task>
    start(platform::http::Client& client, const QString& address, Limits limits,
          std::shared_ptr<platform::FeedCredentials> credentials,
          std::function<void(std::shared_ptr<FeedResponse>)> completion,
          FeedResponse::WantedPaths wanted = {});
};

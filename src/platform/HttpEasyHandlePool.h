#pragma once

#include <curl/curl.h>
#include <vector>

namespace platform::http {

/// Easy handles whose transfers ended on this thread, kept for the next ones: setting one up
/// costs allocations and buffers, and curl_easy_reset gives a used one back in the state a new
/// one has (connections stay in the multi handle's cache, not in the easy handle).
class HttpEasyHandlePool {
  public:
    HttpEasyHandlePool() = default;
    ~HttpEasyHandlePool();
    HttpEasyHandlePool(const HttpEasyHandlePool&) = delete;
    HttpEasyHandlePool& operator=(const HttpEasyHandlePool&) = delete;

    static HttpEasyHandlePool& ofThisThread();
    /// A handle in a new handle's state with this client's receive buffer size; null when curl
    /// cannot make one.
    CURL* take();
    /// Keeps `easy` for a later take(), or cleans it up when the pool is full.
    void give(CURL* easy);

  private:
    static constexpr std::size_t Capacity = 32;
    std::vector<CURL*> handles_;
};

} // namespace platform::http

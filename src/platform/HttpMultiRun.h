#pragma once

#include <curl/curl.h>

namespace platform::http {

/// One blocking transfer in this thread's multi handle, so that it can wake every few
/// milliseconds (curl_easy_perform may sleep up to a second between progress callbacks). The
/// multi handle is made once per thread; its connection cache keeps what requests that reuse
/// connections leave open.
class HttpMultiRun {
  public:
    explicit HttpMultiRun(CURL* easy);
    ~HttpMultiRun();
    HttpMultiRun(const HttpMultiRun&) = delete;
    HttpMultiRun& operator=(const HttpMultiRun&) = delete;

    bool isReady() const { return added_; }
    CURLM* multi() const { return multi_; }

  private:
    CURL* easy_;
    CURLM* multi_ = nullptr;
    bool added_ = false;
};

} // namespace platform::http

#include "platform/HttpEasyHandlePool.h"

namespace platform::http {

HttpEasyHandlePool::~HttpEasyHandlePool() {
    for (CURL* easy : handles_)
        curl_easy_cleanup(easy);
}

HttpEasyHandlePool& HttpEasyHandlePool::ofThisThread() {
    thread_local HttpEasyHandlePool pool;
    return pool;
}

CURL* HttpEasyHandlePool::take() {
    if (handles_.empty())
        return curl_easy_init();
    CURL* easy = handles_.back();
    handles_.pop_back();
    curl_easy_reset(easy);
    return easy;
}

void HttpEasyHandlePool::give(CURL* easy) {
    if (handles_.size() < Capacity)
        handles_.push_back(easy);
    else
        curl_easy_cleanup(easy);
}

} // namespace platform::http

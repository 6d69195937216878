#include "platform/HttpEasyHandlePool.h"

#include "platform/CurlLibrary.h"

namespace platform::http {

HttpEasyHandlePool::~HttpEasyHandlePool() {
    for (CURL* easy : handles_)
        CurlLibrary::get().easyCleanup(easy);
}

HttpEasyHandlePool& HttpEasyHandlePool::ofThisThread() {
    thread_local HttpEasyHandlePool pool;
    return pool;
}

CURL* HttpEasyHandlePool::take() {
    if (handles_.empty())
        return CurlLibrary::get().easyInit();
    CURL* easy = handles_.back();
    handles_.pop_back();
    CurlLibrary::get().easyReset(easy);
    return easy;
}

void HttpEasyHandlePool::give(CURL* easy) {
    if (handles_.size() < Capacity)
        handles_.push_back(easy);
    else
        CurlLibrary::get().easyCleanup(easy);
}

} // namespace platform::http

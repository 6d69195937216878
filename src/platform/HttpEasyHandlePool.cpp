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

namespace {

// A 10 MB feed comes in 40 reads of 256 KiB instead of 640 of curl's default 16 KiB, each a
// system call and a call of the write callback (2-3 ms of a JSON refresh). Only what arrives is
// touched.
constexpr long ReceiveBufferBytes = 256 * 1024;

bool setReceiveBuffer(CURL* easy) {
    return CurlLibrary::get().easySetopt(easy, CURLOPT_BUFFERSIZE, ReceiveBufferBytes) == CURLE_OK;
}

} // namespace

CURL* HttpEasyHandlePool::take() {
    while (!handles_.empty()) {
        CURL* easy = handles_.back();
        handles_.pop_back();
        CurlLibrary::get().easyReset(easy);
        // A transfer that ended before reaching a server (a name that did not resolve) can leave
        // the handle's receive buffer behind, and curl then refuses a size for it: such a handle
        // is replaced, not handed on to fail every transfer after it.
        if (setReceiveBuffer(easy))
            return easy;
        CurlLibrary::get().easyCleanup(easy);
    }
    CURL* easy = CurlLibrary::get().easyInit();
    if (easy && !setReceiveBuffer(easy)) {
        CurlLibrary::get().easyCleanup(easy);
        return nullptr;
    }
    return easy;
}

void HttpEasyHandlePool::give(CURL* easy) {
    if (handles_.size() < Capacity)
        handles_.push_back(easy);
    else
        CurlLibrary::get().easyCleanup(easy);
}

} // namespace platform::http

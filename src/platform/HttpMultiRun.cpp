#include "platform/HttpMultiRun.h"

#include "platform/CurlLibrary.h"

namespace platform::http {

namespace {

/// The multi handle of this thread's blocking transfers.
class ThreadMulti {
  public:
    ThreadMulti() : multi_(CurlLibrary::get().multiInit()) {}
    ~ThreadMulti() {
        if (multi_)
            CurlLibrary::get().multiCleanup(multi_);
    }
    ThreadMulti(const ThreadMulti&) = delete;
    ThreadMulti& operator=(const ThreadMulti&) = delete;
    CURLM* multi() const { return multi_; }

  private:
    CURLM* multi_;
};

} // namespace

HttpMultiRun::HttpMultiRun(CURL* easy) : easy_(easy) {
    thread_local ThreadMulti threadMulti;
    multi_ = threadMulti.multi();
    if (multi_)
        added_ = CurlLibrary::get().multiAddHandle(multi_, easy_) == CURLM_OK;
}

HttpMultiRun::~HttpMultiRun() {
    if (added_)
        CurlLibrary::get().multiRemoveHandle(multi_, easy_);
}

} // namespace platform::http

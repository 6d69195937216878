#include "platform/HttpMultiRun.h"

namespace platform::http {

namespace {

/// The multi handle of this thread's blocking transfers.
class ThreadMulti {
  public:
    ThreadMulti() : multi_(curl_multi_init()) {}
    ~ThreadMulti() {
        if (multi_)
            curl_multi_cleanup(multi_);
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
        added_ = curl_multi_add_handle(multi_, easy_) == CURLM_OK;
}

HttpMultiRun::~HttpMultiRun() {
    if (added_)
        curl_multi_remove_handle(multi_, easy_);
}

} // namespace platform::http

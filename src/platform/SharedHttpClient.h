#pragma once

#include <memory>

namespace platform::http {

class Client;

/// The process's HTTP client for work that was given none (document feeds, the version check).
/// Never destroyed: completions of requests still in flight at exit must find their client.
std::shared_ptr<Client> sharedClient();

} // namespace platform::http

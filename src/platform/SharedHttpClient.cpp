#include "platform/SharedHttpClient.h"

#include "platform/HttpClient.h"

namespace platform::http {

std::shared_ptr<Client> sharedClient() {
    static auto* client = new std::shared_ptr<Client>(std::make_shared<Client>());
    return *client;
}

} // namespace platform::http

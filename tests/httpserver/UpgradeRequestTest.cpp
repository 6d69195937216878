#include "httpserver/UpgradeRouter.h"

#include <gtest/gtest.h>

namespace {

TEST(UpgradeRequest, OnlyACompleteWebSocketGetIsAnUpgrade) {
    const auto request = UpgradeRequest::parse("GET /live?x=1 HTTP/1.1\r\nHost: 127.0.0.1:9\r\n"
                                               "upgrade: WebSocket\r\nOrigin: http://127.0.0.1:9\r\n\r\n");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->target, "/live?x=1");
    EXPECT_EQ(request->host, "127.0.0.1:9");
    EXPECT_EQ(request->origin, "http://127.0.0.1:9");
    for (const char* other :
         {"GET /live HTTP/1.1\r\nUpgrade: websocket\r\n", // cut short
          "POST /live HTTP/1.1\r\nUpgrade: websocket\r\n\r\n", "GET /live HTTP/1.1\r\nUpgrade: h2c\r\n\r\n",
          "GET / HTTP/1.1\r\n\r\n", "\r\n\r\n"})
        EXPECT_FALSE(UpgradeRequest::parse(other)) << other;
}

} // namespace

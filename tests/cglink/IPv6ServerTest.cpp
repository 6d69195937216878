// A CG server addressed by an IPv6 literal, over HTTP as over the notification socket: the
// client that documents use.
#include "cglink/CGServerHTTPController.h"
#include "cglink/CGServerURLs.h"
#include "cgsim/CGServerSimulator.h"
#include "testkit/TestHelpers.h"

#include <gtest/gtest.h>

namespace {

using testing_support::waitUntil;

TEST(URLTemplates, WriteIPv6HostsInBrackets) {
    const struct {
        const char* host;
        const char* projects;
    } cases[] = {
        {"::1", "http://[::1]:2001/projects"},
        {"[::1]", "http://[::1]:2001/projects"},
        {"fe80::1:2", "http://[fe80::1:2]:2001/projects"},
        {"127.0.0.1", "http://127.0.0.1:2001/projects"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CGServerURLs(QString::fromLatin1(c.host), 2001, 1).projects().toEncoded(),
                  QByteArray(c.projects))
            << c.host;
}

class CGServerOnIPv6Loopback : public ::testing::Test {
  protected:
    void SetUp() override {
        CGServerSimulator::Options options;
        options.serverType = 2;
        options.address = u"::1"_s;
        simulator = std::make_unique<CGServerSimulator>(options);
        QString error;
        if (!simulator->start(&error))
            GTEST_SKIP() << "no IPv6 loopback (::1) on this machine: " << error.toStdString();
    }
    std::unique_ptr<CGServerSimulator> simulator;
};

// Fault guarded: HTTP requests went to "http://::1:2001/...", which is no URL, so a server given
// by an IPv6 address got no request at all (its socket connected).
TEST_F(CGServerOnIPv6Loopback, ClientListsProjectsAndConnects) {
    CGServerHTTPController client(u"::1"_s, simulator->port(), 2, QString());
    client.waitUntilIdle();
    EXPECT_EQ(client.projects().size(), 3);
    EXPECT_TRUE(waitUntil([&] { return client.isConnected(); }));
    client.closeWebSockets();
}

} // namespace

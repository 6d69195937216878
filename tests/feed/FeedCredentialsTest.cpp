#include "feed/FeedCredentials.h"

#include "platform/HttpClient.h"
#include "platform/KeychainSecretStore.h"
#include "platform/NVSKeychain.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/MemorySecretStore.h"
#include "testkit/PrivateKeyring.h"
#include "testkit/TestHelpers.h"

#include <gtest/gtest.h>

using platform::FeedAuthentication;
using platform::FeedCredentials;
using platform::http::Client;
using platform::http::Request;
using testing_support::LoopbackHttpServer;
using testing_support::MemorySecretStore;
using Reply = LoopbackHttpServer::Reply;
using Scheme = FeedAuthentication::Scheme;

namespace {

FeedAuthentication settings(Scheme scheme, QString user = {}, QStringList headers = {}) {
    FeedAuthentication result;
    result.scheme = scheme;
    result.user = std::move(user);
    result.headerNames = std::move(headers);
    return result;
}

class FeedCredentialsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        feedServer.serve("/feed", Reply::text("<r/>", "text/xml"));
        otherServer.serve("/feed", Reply::text("<r/>", "text/xml"));
        // Another host name and another port.
        QUrl elsewhere = otherServer.url(u"/feed"_s);
        elsewhere.setHost(u"localhost"_s);
        feedServer.serve("/moved",
                         Reply::text("", "text/plain", 302).withHeader("Location", elsewhere.toEncoded()));
    }

    /// The credentials of `settings`, the secret stored for the feed server.
    std::shared_ptr<FeedCredentials> credentials(FeedAuthentication settings, const QString& secret) {
        settings = settings.normalized();
        EXPECT_TRUE(FeedCredentials::storeSecret(*store, settings, feedServer.url(), secret));
        return std::make_shared<FeedCredentials>(settings, store,
                                                 [this](const QString& line) { log.append(line); });
    }

    platform::http::Response fetch(FeedCredentials& credentials, const QString& path) {
        Request request(feedServer.url(path));
        credentials.addTo(request);
        return client.perform(request);
    }

    LoopbackHttpServer feedServer;
    LoopbackHttpServer otherServer;
    Client client;
    std::shared_ptr<MemorySecretStore> store = std::make_shared<MemorySecretStore>();
    QStringList log;
};

TEST_F(FeedCredentialsTest, ReachTheFeedServerAndNoServerItRedirectsTo) {
    struct Case {
        const char* name;
        FeedAuthentication settings;
        QString secret;
        QByteArray header;
        QByteArray value;
        bool redirectFollowed;
    };
    const Case cases[] = {
        {"basic", settings(Scheme::Basic, u"reader"_s), u"pa:ss wörd"_s, "Authorization",
         "Basic " + QByteArray("reader:pa:ss wörd").toBase64(), true},
        {"bearer", settings(Scheme::Bearer), u"tok-123"_s, "Authorization", "Bearer tok-123", true},
        {"headers", settings(Scheme::Headers, {}, {u"X-Api-Key"_s, u"X-Unset"_s}),
         FeedAuthentication::headersSecret({{u"X-Api-Key"_s, u"k-1"_s}}), "X-Api-Key", "k-1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        feedServer.clearRequests();
        otherServer.clearRequests();
        auto sent = credentials(c.settings, c.secret);

        EXPECT_EQ(fetch(*sent, u"/feed"_s).statusCode, 200);
        const platform::http::Response moved = fetch(*sent, u"/moved"_s);
        const QList<LoopbackHttpServer::Request> atFeed = feedServer.requests();
        ASSERT_EQ(atFeed.size(), 2);
        for (const LoopbackHttpServer::Request& request : atFeed) {
            EXPECT_EQ(request.header(c.header), c.value);
            EXPECT_FALSE(request.header("X-Unset")) << "a header without a stored value is not sent";
        }

        // The redirect to another host and port: followed without the credentials, or (custom
        // headers, which curl would resend) not followed at all.
        const QList<LoopbackHttpServer::Request> elsewhere = otherServer.requests();
        if (c.redirectFollowed) {
            EXPECT_EQ(moved.statusCode, 200);
            ASSERT_EQ(elsewhere.size(), 1);
            EXPECT_FALSE(elsewhere.first().header(c.header));
        } else {
            EXPECT_EQ(moved.statusCode, 302);
            EXPECT_TRUE(elsewhere.isEmpty());
        }
        EXPECT_TRUE(log.isEmpty()) << log.join(u'|').toStdString();
    }
}

TEST_F(FeedCredentialsTest, WithoutASecretFetchesBareAndSaysWhyOnce) {
    struct Case {
        const char* name;
        bool storeAvailable;
        const char* logged;
    };
    const Case cases[] = {
        {"keychain unavailable", false, "the keychain is not available"},
        {"nothing stored", true, "no secret is stored for"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        feedServer.clearRequests();
        store->available = c.storeAvailable;
        FeedCredentials bare(settings(Scheme::Bearer).normalized(), store,
                             [this](const QString& line) { log.append(line); });
        EXPECT_EQ(fetch(bare, u"/feed"_s).statusCode, 200);
        EXPECT_EQ(fetch(bare, u"/feed"_s).statusCode, 200);
        ASSERT_EQ(log.size(), 1) << log.join(u'|').toStdString();
        EXPECT_TRUE(log.first().contains(QString::fromUtf8(c.logged))) << log.first().toStdString();
        for (const LoopbackHttpServer::Request& request : feedServer.requests())
            EXPECT_FALSE(request.header("Authorization"));
    }
}

// A secret stored through Sign-in… is used by the next fetch; one changed behind the program's
// back is looked up again once the server refuses the old one.
TEST_F(FeedCredentialsTest, KeepsTheSecretUntilANewOneIsStoredOrTheServerRefusesIt) {
    auto sent = credentials(settings(Scheme::Bearer), u"first"_s);
    const QString service = platform::FeedAuthentication::secretService(feedServer.url());
    fetch(*sent, u"/feed"_s);
    store->store(service, sent->settings().account, u"elsewhere"_s, u"second"_s);
    fetch(*sent, u"/feed"_s);
    sent->noteStatus(401);
    fetch(*sent, u"/feed"_s);
    FeedCredentials::storeSecret(*store, sent->settings(), feedServer.url(), u"third"_s);
    fetch(*sent, u"/feed"_s);
    QList<QByteArray> seen;
    for (const LoopbackHttpServer::Request& request : feedServer.requests())
        seen.append(request.header("Authorization").value_or(QByteArray()));
    EXPECT_EQ(seen, (QList<QByteArray>{"Bearer first", "Bearer first", "Bearer second", "Bearer third"}));
}

using FeedSecretsInTheKeychain = testing_support::KeyringTest;

// Feed secrets through the real Secret Service: found again for the same feed origin and account,
// and never for a CG server looked up by its host.
TEST_F(FeedSecretsInTheKeychain, KeepsFeedSecretsByOriginAndAccount) {
    const FeedAuthentication bearer = settings(Scheme::Bearer).normalized();
    KeychainSecretStore store;
    const QUrl feed(u"https://feeds.example.test/scores.xml"_s);
    ASSERT_TRUE(FeedCredentials::storeSecret(store, bearer, feed, u"tok-1"_s));

    QStringList log;
    const auto fetchWith = [&](const QUrl& address) {
        FeedCredentials credentials(bearer, nullptr, [&](const QString& line) { log.append(line); });
        platform::http::Request request(address);
        platform::SecretStore::setShared(std::make_shared<KeychainSecretStore>());
        credentials.addTo(request);
        platform::SecretStore::setShared(nullptr);
        return request.bearerToken;
    };
    EXPECT_EQ(fetchWith(QUrl(u"https://FEEDS.example.test:443/other.xml"_s)), u"tok-1"_s);
    EXPECT_TRUE(log.isEmpty());
    EXPECT_FALSE(fetchWith(QUrl(u"http://feeds.example.test/scores.xml"_s)));
    ASSERT_EQ(log.size(), 1);
    EXPECT_FALSE(log.first().contains(u"tok-1"_s));
    int status = -1;
    EXPECT_FALSE(NVSKeychain::loginInfo(u"feeds.example.test"_s, QString(), &status));
}

} // namespace

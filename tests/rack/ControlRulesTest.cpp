#include "rack/ControlActions.h"
#include "rack/RequestGuard.h"

#include <gtest/gtest.h>

namespace {

TEST(RequestGuard, OnLoopbackOnlyTheMachinesOwnNamesPass) {
    const RequestGuard loopback{QHostAddress(QStringLiteral("127.0.0.1"))};
    const RequestGuard network{QHostAddress(QStringLiteral("0.0.0.0"))};
    const struct {
        const char* host;
        bool allowed;
    } cases[] = {{"127.0.0.1:9464", true},
                 {"localhost:9464", true},
                 {"LOCALHOST", true},
                 {"[::1]:9464", true},
                 {"127.0.0.1", true},
                 // DNS rebinding: another site's name resolving to 127.0.0.1.
                 {"attacker.example:9464", false},
                 {"localhost.attacker.example", false},
                 {"127.0.0.1.nip.io:9464", false},
                 {"", false},
                 {"[::1", false},
                 {"::1:9464", false},
                 {"10.0.0.5:9464", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(loopback.hostAllowed(c.host), c.allowed) << c.host;
        EXPECT_TRUE(network.hostAllowed(c.host)) << "beyond loopback the token guards: " << c.host;
    }
}

TEST(RequestGuard, OriginMustBeThePagesOwn) {
    const struct {
        const char* origin;
        const char* host;
        bool same;
    } cases[] = {{"http://127.0.0.1:9464", "127.0.0.1:9464", true},
                 {"https://rack.example", "rack.example", true},
                 {"HTTP://Localhost:9464", "localhost:9464", true},
                 {"http://127.0.0.1:9465", "127.0.0.1:9464", false},
                 {"http://attacker.example", "127.0.0.1:9464", false},
                 {"null", "127.0.0.1:9464", false},
                 {"", "127.0.0.1:9464", false},
                 {"http://", "", false}};
    for (const auto& c : cases)
        EXPECT_EQ(RequestGuard::sameOrigin(c.origin, c.host), c.same) << c.origin << " / " << c.host;
}

TEST(RequestGuard, TokensInAddressesAreFound) {
    const QByteArray token("s3cret");
    const struct {
        const char* query;
        bool carries;
    } cases[] = {{"", false},        {"page=2", false},      {"token=x", true}, {"ACCESS_TOKEN=x", true},
                 {"q=s3cret", true}, {"q=%73%33cret", true}, {"s3cret", true},  {"bearer", true},
                 {"tokens=3", false}};
    for (const auto& c : cases)
        EXPECT_EQ(RequestGuard::queryCarriesToken(QString::fromLatin1(c.query), token), c.carries) << c.query;
}

TEST(ControlActions, PathsNameADocumentAndAnAction) {
    using A = ControlActions::Action;
    const struct {
        const char* path;
        std::optional<ControlActions::Target> target;
    } cases[] = {{"/documents/0/update", ControlActions::Target{0, A::Update}},
                 {"/documents/12/clear", ControlActions::Target{12, A::Clear}},
                 {"/documents/1/on-air", ControlActions::Target{1, A::OnAir}},
                 {"/documents/1/off-air", ControlActions::Target{1, A::OffAir}},
                 {"/documents/3/auto-refresh-on", ControlActions::Target{3, A::AutoRefreshOn}},
                 {"/documents/3/auto-refresh-off", ControlActions::Target{3, A::AutoRefreshOff}},
                 {"/documents/-1/update", std::nullopt},
                 {"/documents/+1/update", std::nullopt},
                 {"/documents/1/update/", std::nullopt},
                 {"/documents//update", std::nullopt},
                 {"/documents/99999999999999999999/update", std::nullopt},
                 {"/documents/1/Update", std::nullopt},
                 {"/status", std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(ControlActions::parse(QString::fromLatin1(c.path)), c.target) << c.path;
}

} // namespace

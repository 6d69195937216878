#include "platform/NVSKeychain.h"

#include "testkit/PrivateKeyring.h"

#include <gtest/gtest.h>

namespace {

using Keychain = testing_support::KeyringTest;

TEST_F(Keychain, AddsUpdatesFindsAndDeletesPasswords) {
    const QString server = QStringLiteral("cg.example.test");
    EXPECT_EQ(NVSKeychain::addOrUpdatePassword(QStringLiteral("first"), QStringLiteral("operator"), server,
                                               QStringLiteral("CG server")),
              0);
    // The same item again is an update, not a duplicate.
    EXPECT_EQ(NVSKeychain::addOrUpdatePassword(QStringLiteral("sécond"), QStringLiteral("operator"), server,
                                               QStringLiteral("CG server")),
              0);
    int status = -1;
    const auto info = NVSKeychain::loginInfo(server, QStringLiteral("operator"), &status);
    ASSERT_TRUE(info);
    EXPECT_EQ(status, NVSKeychain::Success);
    EXPECT_EQ(info->value(QStringLiteral("user")).toString(), QStringLiteral("operator"));
    EXPECT_EQ(info->value(QStringLiteral("password")).toString(), QStringLiteral("sécond"));
    const auto anyUser = NVSKeychain::loginInfo(server, QString(), &status);
    ASSERT_TRUE(anyUser);
    EXPECT_EQ(anyUser->value(QStringLiteral("user")).toString(), QStringLiteral("operator"));
    EXPECT_FALSE(NVSKeychain::loginInfo(server, QStringLiteral("someone else"), &status));

    EXPECT_EQ(NVSKeychain::deletePassword(QStringLiteral("operator"), server), 0);
    EXPECT_EQ(NVSKeychain::deletePassword(QStringLiteral("operator"), server), NVSKeychain::ItemNotFound);
    EXPECT_FALSE(NVSKeychain::loginInfo(server, QString(), &status));
    EXPECT_EQ(status, NVSKeychain::ItemNotFound);
}

} // namespace

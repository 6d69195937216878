#include "platform/NVSKeychain.h"

#include "testkit/PrivateKeyring.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using Keychain = testing_support::KeyringTest;

TEST_F(Keychain, AddsUpdatesFindsAndDeletesPasswords) {
    const QString server = u"cg.example.test"_s;
    EXPECT_EQ(NVSKeychain::addOrUpdatePassword(u"first"_s, u"operator"_s, server, u"CG server"_s), 0);
    // The same item again is an update, not a duplicate.
    EXPECT_EQ(NVSKeychain::addOrUpdatePassword(u"sécond"_s, u"operator"_s, server, u"CG server"_s), 0);
    int status = -1;
    const auto info = NVSKeychain::loginInfo(server, u"operator"_s, &status);
    ASSERT_TRUE(info);
    EXPECT_EQ(status, NVSKeychain::Success);
    EXPECT_EQ(info->value(u"user"_s).toString(), u"operator"_s);
    EXPECT_EQ(info->value(u"password"_s).toString(), u"sécond"_s);
    const auto anyUser = NVSKeychain::loginInfo(server, QString(), &status);
    ASSERT_TRUE(anyUser);
    EXPECT_EQ(anyUser->value(u"user"_s).toString(), u"operator"_s);
    EXPECT_FALSE(NVSKeychain::loginInfo(server, u"someone else"_s, &status));

    EXPECT_EQ(NVSKeychain::deletePassword(u"operator"_s, server), 0);
    EXPECT_EQ(NVSKeychain::deletePassword(u"operator"_s, server), NVSKeychain::ItemNotFound);
    EXPECT_FALSE(NVSKeychain::loginInfo(server, QString(), &status));
    EXPECT_EQ(status, NVSKeychain::ItemNotFound);
}

} // namespace

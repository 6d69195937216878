#include "platform/UserDefaults.h"
#include "support/NVSBackblazeAPI.h"
#include "support/NVSBackblazeConfiguration.h"
#include "support/NVSBackblazePartLayout.h"
#include "support/NVSBackblazeUploadTask.h"
#include "testkit/TestHelpers.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using Ranges = QList<NVSByteRange>;

void PrintTo(const NVSByteRange& range, std::ostream* os) {
    *os << '{' << range.offset << ", " << range.length << '}';
}

TEST(BackblazePartLayoutTest, CutsWholePartsAndKeepsOnlyLargeRemainders) {
    constexpr qint64 M = 1'000'000;
    constexpr qint64 Minimum = NVSBackblazePartLayout::DefaultAbsoluteMinimumPartSize;
    struct Case {
        qint64 fileSize;
        qint64 partSize;
        qint64 minimum;
        Ranges expected;
    };
    const Case cases[] = {
        {100 * M, 100 * M, Minimum, {{0, 100 * M}}},
        {230 * M, 100 * M, Minimum, {{0, 100 * M}, {100 * M, 100 * M}, {200 * M, 30 * M}}},
        {203 * M, 100 * M, Minimum, {{0, 100 * M}, {100 * M, 103 * M}}},
        {105 * M, 100 * M, Minimum, {{0, 100 * M}, {100 * M, 5 * M}}},
        {105 * M - 1, 100 * M, Minimum, {{0, 105 * M - 1}}},
        {3500, 1000, 100, {{0, 1000}, {1000, 1000}, {2000, 1000}, {3000, 500}}},
        {50, 1000, 100, {{0, 50}}},
        {0, 1000, 100, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileSize);
        EXPECT_EQ(NVSBackblazePartLayout::cut(c.fileSize, c.partSize, c.minimum), c.expected);
    }
}

TEST(BackblazeWireTest, CredentialsAndFileNamesAreEncodedForTheService) {
    EXPECT_EQ(NVSBackblazeAPI::authenticationHeader(u"abc"_s, u"xyz"_s), "Basic YWJjOnh5eg==");
    EXPECT_EQ(NVSBackblazeAPI::authenticationHeader(u"ké"_s, u"v"_s),
              "Basic " + QByteArray("k\xc3\xa9:v").toBase64());

    const std::pair<const char*, QByteArray> names[] = {
        {"Support, 2026.zip", "Support%2C%202026.zip"},
        {"a+b&c=d;e:f@g!h$i'j(k)l*m/n?o~p_q-r.s", "a+b&c=d;e:f@g!h$i'j(k)l*m/n?o~p_q-r.s"},
        {"Grafik \xc3\xa9.zip", "Grafik%20%C3%A9.zip"},
        {"100%#[]\"", "100%25%23%5B%5D%22"},
    };
    for (const auto& [name, encoded] : names)
        EXPECT_EQ(NVSBackblazeAPI::percentEncodedFileName(QString::fromUtf8(name)), encoded) << name;
}

// Credentials and tokens travel in clear over http: only to this machine.
TEST(BackblazeWireTest, CredentialsGoOnlyToSecureOrLocalAddresses) {
    const std::pair<const char*, bool> addresses[] = {
        {"https://api.backblazeb2.com", true},
        {"http://127.0.0.1:8080", true},
        {"http://localhost", true},
        {"http://[::1]:9000/x", true},
        {"http://127.evil.example", false},
        {"http://b2.example.test", false},
        {"ftp://127.0.0.1", false},
        {"https://", false},
    };
    for (const auto& [address, acceptable] : addresses)
        EXPECT_EQ(NVSBackblazeAPI::isAcceptableAddress(QUrl(QString::fromLatin1(address))), acceptable)
            << address;
}

TEST(BackblazeConfigurationTest, EnvironmentTakesPrecedenceOverUserDefaults) {
    QTemporaryDir folder;
    platform::UserDefaults defaults(folder.filePath(u"defaults.conf"_s));
    defaults.setValue(NVSBackblazeConfiguration::KeyIDDefaultsKey, u"default-key"_s);
    defaults.setValue(NVSBackblazeConfiguration::ApplicationKeyDefaultsKey, u"default-secret"_s);
    defaults.setValue(NVSBackblazeConfiguration::BucketIDDefaultsKey, u"default-bucket"_s);

    const NVSBackblazeConfiguration fromDefaults = NVSBackblazeConfiguration::fromEnvironment(defaults);
    EXPECT_EQ(fromDefaults.keyID(), QLatin1String("default-key"));
    EXPECT_EQ(fromDefaults.applicationKey(), QLatin1String("default-secret"));
    EXPECT_EQ(fromDefaults.bucketID(), QLatin1String("default-bucket"));
    EXPECT_FALSE(fromDefaults.configurationError());

    qputenv(NVSBackblazeConfiguration::KeyIDVariable, "env-key");
    qputenv(NVSBackblazeConfiguration::ApplicationKeyVariable, ""); // empty: not set
    qputenv(NVSBackblazeConfiguration::AuthorizationURLVariable, "https://b2.example.test");
    const NVSBackblazeConfiguration mixed = NVSBackblazeConfiguration::fromEnvironment(defaults);
    qunsetenv(NVSBackblazeConfiguration::KeyIDVariable);
    qunsetenv(NVSBackblazeConfiguration::ApplicationKeyVariable);
    qunsetenv(NVSBackblazeConfiguration::AuthorizationURLVariable);
    EXPECT_EQ(mixed.keyID(), QLatin1String("env-key"));
    EXPECT_EQ(mixed.applicationKey(), QLatin1String("default-secret"));
    EXPECT_EQ(mixed.authorizationURL(), QUrl(u"https://b2.example.test"_s));
}

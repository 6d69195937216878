#include "cglink/NVSKeychain.h"

#include "cglink/KeychainSecretStore.h"
#include "platform/FeedCredentials.h"
#include "platform/HttpRequest.h"
#include "testkit/TestHelpers.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

/// A private D-Bus session with a Secret Service (gnome-keyring) whose login keyring is
/// unlocked, for the whole suite. The machine's own session is never touched.
class Keychain : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        const QString keyring = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
        if (daemon.isEmpty() || keyring.isEmpty()) {
            skipReason = "dbus-daemon or gnome-keyring-daemon is not installed (scripts/bootstrap-deps.sh "
                         "installs them)";
            return;
        }
        home = new QTemporaryDir;
        const QString runtime = home->filePath(QStringLiteral("run"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
        qputenv("XDG_DATA_HOME", home->filePath(QStringLiteral("data")).toUtf8());

        bus = new QProcess;
        bus->start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--print-address=1")});
        if (!bus->waitForReadyRead(5000)) {
            skipReason = "a private D-Bus session could not be started";
            return;
        }
        const QByteArray address = bus->readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);

        secrets = new QProcess;
        // The daemon reads the login keyring's password from its input as it starts.
        const QString passwordFile = home->filePath(QStringLiteral("password"));
        testing_support::writeFile(passwordFile, "test-keyring-password");
        secrets->setStandardInputFile(passwordFile);
        secrets->start(keyring, {QStringLiteral("--unlock"), QStringLiteral("--components=secrets"),
                                 QStringLiteral("--foreground")});
        if (!secrets->waitForStarted(5000)) {
            skipReason = "gnome-keyring-daemon did not start";
            return;
        }
        // Ask libsecret only once the daemon owns the service name on the private bus.
        QDBusConnection privateBus =
            QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("keychain-test"));
        testing_support::waitUntil(
            [&] {
                return privateBus.interface() &&
                       privateBus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets"));
            },
            std::chrono::milliseconds(15000));
        QDBusConnection::disconnectFromBus(QStringLiteral("keychain-test"));
        // The service is ready once a store succeeds.
        const bool ready = testing_support::waitUntil(
            [] {
                return NVSKeychain::addOrUpdatePassword(QStringLiteral("x"), QStringLiteral("probe"),
                                                        QStringLiteral("probe.invalid"),
                                                        QStringLiteral("probe")) == NVSKeychain::Success;
            },
            std::chrono::milliseconds(15000));
        if (!ready)
            skipReason = "the private Secret Service did not answer";
    }
    static void TearDownTestSuite() {
        for (QProcess* process : {secrets, bus}) {
            if (process) {
                process->kill();
                process->waitForFinished();
            }
        }
        delete secrets;
        delete bus;
        delete home;
        secrets = bus = nullptr;
        home = nullptr;
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    void SetUp() override {
        if (skipReason)
            GTEST_SKIP() << skipReason;
    }

    static inline const char* skipReason = nullptr;
    static inline QTemporaryDir* home = nullptr;
    static inline QProcess* bus = nullptr;
    static inline QProcess* secrets = nullptr;
};

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

// Feed secrets through the real Secret Service: found again for the same feed origin and account,
// and never for a CG server looked up by its host.
TEST_F(Keychain, KeepsFeedSecretsByOriginAndAccount) {
    platform::FeedAuthentication settings;
    settings.scheme = platform::FeedAuthentication::Scheme::Bearer;
    settings = settings.normalized();
    KeychainSecretStore store;
    const QUrl feed(QStringLiteral("https://feeds.example.test/scores.xml"));
    ASSERT_TRUE(platform::FeedCredentials::storeSecret(store, settings, feed, QStringLiteral("tok-1")));

    QStringList log;
    const auto fetchWith = [&](const QUrl& address) {
        platform::FeedCredentials credentials(settings, nullptr,
                                              [&](const QString& line) { log.append(line); });
        platform::http::Request request(address);
        platform::SecretStore::setShared(std::make_shared<KeychainSecretStore>());
        credentials.addTo(request);
        platform::SecretStore::setShared(nullptr);
        return request.bearerToken;
    };
    EXPECT_EQ(fetchWith(QUrl(QStringLiteral("https://FEEDS.example.test:443/other.xml"))),
              QStringLiteral("tok-1"));
    EXPECT_TRUE(log.isEmpty());
    EXPECT_FALSE(fetchWith(QUrl(QStringLiteral("http://feeds.example.test/scores.xml"))));
    ASSERT_EQ(log.size(), 1);
    EXPECT_FALSE(log.first().contains(QStringLiteral("tok-1")));
    int status = -1;
    EXPECT_FALSE(NVSKeychain::loginInfo(QStringLiteral("feeds.example.test"), QString(), &status));
}

} // namespace

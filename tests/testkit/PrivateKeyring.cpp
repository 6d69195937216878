#include "testkit/PrivateKeyring.h"

#include "platform/NVSKeychain.h"
#include "testkit/TestHelpers.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace testing_support {

PrivateKeyring::PrivateKeyring() {
    const QString keyring = QStandardPaths::findExecutable(u"gnome-keyring-daemon"_s);
    if (keyring.isEmpty() || m_bus.address().isEmpty()) {
        m_skipReason = "dbus-daemon or gnome-keyring-daemon is not installed (scripts/bootstrap-deps.sh "
                       "installs them)";
        return;
    }
    const QString runtime = m_home.filePath(u"run"_s);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    qputenv("XDG_DATA_HOME", m_home.filePath(u"data"_s).toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toUtf8());

    // The daemon reads the login keyring's password from its input as it starts.
    const QString passwordFile = m_home.filePath(u"password"_s);
    writeFile(passwordFile, "test-keyring-password");
    m_secrets.setStandardInputFile(passwordFile);
    m_secrets.start(keyring, {u"--unlock"_s, u"--components=secrets"_s, u"--foreground"_s});
    if (!m_secrets.waitForStarted(5000)) {
        m_skipReason = "gnome-keyring-daemon did not start";
        return;
    }
    // Ask libsecret only once the daemon owns the service name on the private bus.
    {
        QDBusConnection privateBus = QDBusConnection::connectToBus(m_bus.address(), u"keyring-probe"_s);
        waitUntil(
            [&] {
                return privateBus.interface() &&
                       privateBus.interface()->isServiceRegistered(u"org.freedesktop.secrets"_s);
            },
            std::chrono::milliseconds(15000));
    }
    QDBusConnection::disconnectFromBus(u"keyring-probe"_s);
    // The service is ready once a store succeeds.
    const bool ready = waitUntil(
        [] {
            return NVSKeychain::addOrUpdatePassword(u"x"_s, u"probe"_s, u"probe.invalid"_s, u"probe"_s) ==
                   NVSKeychain::Success;
        },
        std::chrono::milliseconds(15000));
    if (!ready)
        m_skipReason = "the private Secret Service did not answer";
}

PrivateKeyring::~PrivateKeyring() {
    m_secrets.kill();
    m_secrets.waitForFinished();
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

} // namespace testing_support

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
    const QString keyring = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
    if (keyring.isEmpty() || m_bus.address().isEmpty()) {
        m_skipReason = "dbus-daemon or gnome-keyring-daemon is not installed (scripts/bootstrap-deps.sh "
                       "installs them)";
        return;
    }
    const QString runtime = m_home.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toUtf8());

    // The daemon reads the login keyring's password from its input as it starts.
    const QString passwordFile = m_home.filePath(QStringLiteral("password"));
    writeFile(passwordFile, "test-keyring-password");
    m_secrets.setStandardInputFile(passwordFile);
    m_secrets.start(keyring, {QStringLiteral("--unlock"), QStringLiteral("--components=secrets"),
                              QStringLiteral("--foreground")});
    if (!m_secrets.waitForStarted(5000)) {
        m_skipReason = "gnome-keyring-daemon did not start";
        return;
    }
    // Ask libsecret only once the daemon owns the service name on the private bus.
    {
        QDBusConnection privateBus =
            QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("keyring-probe"));
        waitUntil(
            [&] {
                return privateBus.interface() &&
                       privateBus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets"));
            },
            std::chrono::milliseconds(15000));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("keyring-probe"));
    // The service is ready once a store succeeds.
    const bool ready = waitUntil(
        [] {
            return NVSKeychain::addOrUpdatePassword(QStringLiteral("x"), QStringLiteral("probe"),
                                                    QStringLiteral("probe.invalid"),
                                                    QStringLiteral("probe")) == NVSKeychain::Success;
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

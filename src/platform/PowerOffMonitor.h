#pragma once

#include <QDBusConnection>
#include <QObject>

namespace platform {

/// Tells when the system announces that it is powering off: logind's PrepareForShutdown(true) on
/// a D-Bus connection (the system bus by default). Only a signal from the owner of the logind name
/// counts. Without a bus the system never reads as powering off. Lives on the thread that created it.
class PowerOffMonitor : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isPoweringOff READ isPoweringOff NOTIFY willPowerOff)
  public:
    static inline const QString ServiceName = QStringLiteral("org.freedesktop.login1");
    static inline const QString ObjectPath = QStringLiteral("/org/freedesktop/login1");
    static inline const QString InterfaceName = QStringLiteral("org.freedesktop.login1.Manager");

    explicit PowerOffMonitor(const QDBusConnection& connection = QDBusConnection::systemBus(),
                             QObject* parent = nullptr);

    /// Set by the first announcement; it never goes back (a cancelled shutdown is not reported).
    bool isPoweringOff() const { return m_poweringOff; }

  Q_SIGNALS:
    /// Emitted once, when the power-off is announced.
    void willPowerOff();

  private Q_SLOTS:
    void prepareForShutdown(bool starting);

  private:
    QDBusConnection m_connection;
    bool m_poweringOff = false;
};

} // namespace platform

#include "platform/PowerOffMonitor.h"

namespace platform {

PowerOffMonitor::PowerOffMonitor(const QDBusConnection& connection, QObject* parent)
    : QObject(parent), m_connection(connection) {
    // The service name makes the bus deliver only what the name's owner sends; no connection:
    // nothing to listen to, and nothing to report either.
    if (m_connection.isConnected())
        m_connection.connect(ServiceName, ObjectPath, InterfaceName, QStringLiteral("PrepareForShutdown"),
                             this, SLOT(prepareForShutdown(bool)));
}

void PowerOffMonitor::prepareForShutdown(bool starting) {
    // false announces that a planned shutdown was cancelled: not a power-off.
    if (!starting || m_poweringOff)
        return;
    m_poweringOff = true;
    Q_EMIT willPowerOff();
}

} // namespace platform

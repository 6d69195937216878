#pragma once

#include <QProcess>
#include <QString>

namespace testing_support {

/// A private D-Bus daemon (session configuration) for one test; stopped when the object goes.
/// address() is empty when dbus-daemon is not installed or did not start: skip the test then.
class PrivateDBus {
  public:
    PrivateDBus();
    ~PrivateDBus();
    PrivateDBus(const PrivateDBus&) = delete;
    PrivateDBus& operator=(const PrivateDBus&) = delete;

    QString address() const { return m_address; }

  private:
    QProcess m_process;
    QString m_address;
};

} // namespace testing_support

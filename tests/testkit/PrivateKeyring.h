#pragma once

#include "testkit/PrivateDBus.h"

#include <QProcess>
#include <QTemporaryDir>

namespace testing_support {

/// A Secret Service (gnome-keyring) with an unlocked login keyring on a private D-Bus session,
/// made the process's session bus while the object lives. The machine's own session and keyring
/// are never touched. skipReason() is set when the daemons are missing or do not answer.
class PrivateKeyring {
  public:
    PrivateKeyring();
    ~PrivateKeyring();
    PrivateKeyring(const PrivateKeyring&) = delete;
    PrivateKeyring& operator=(const PrivateKeyring&) = delete;

    const char* skipReason() const { return m_skipReason; }

  private:
    QTemporaryDir m_home;
    PrivateDBus m_bus;
    QProcess m_secrets;
    const char* m_skipReason = nullptr;
};

} // namespace testing_support

#pragma once

#include "testkit/PrivateDBus.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

/// A fixture whose tests share one private keyring, and are skipped, saying why, without one.
class KeyringTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { keyring = new PrivateKeyring; }
    static void TearDownTestSuite() {
        delete keyring;
        keyring = nullptr;
    }
    void SetUp() override {
        if (keyring->skipReason())
            GTEST_SKIP() << keyring->skipReason();
    }
    static inline PrivateKeyring* keyring = nullptr;
};

} // namespace testing_support

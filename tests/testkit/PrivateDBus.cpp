#include "testkit/PrivateDBus.h"

#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace testing_support {

PrivateDBus::PrivateDBus() {
    const QString daemon = QStandardPaths::findExecutable(u"dbus-daemon"_s);
    if (daemon.isEmpty())
        return;
    m_process.start(daemon, {u"--session"_s, u"--nofork"_s, u"--nopidfile"_s, u"--print-address=1"_s});
    if (!m_process.waitForStarted(5000) || !m_process.waitForReadyRead(5000))
        return;
    m_address = QString::fromUtf8(m_process.readLine()).trimmed();
}

PrivateDBus::~PrivateDBus() {
    // Asked to stop, the daemon removes its socket file; killed, it leaves it behind in /tmp.
    m_process.terminate();
    if (!m_process.waitForFinished(2000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

} // namespace testing_support

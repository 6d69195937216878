#include "testkit/CliRun.h"
#include "testkit/TestHelpers.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

using testing_support::CliRun;
using testing_support::runCli;

/// Answers every CR LF-terminated line with "OK <line>" and records what it received; answers
/// nothing to "SILENT" and hangs up on "BYE".
class EchoPeer {
  public:
    EchoPeer() {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                const QByteArray bytes = socket->readAll();
                received += bytes;
                m_pending += bytes;
                qsizetype end;
                while ((end = m_pending.indexOf("\r\n")) >= 0) {
                    const QByteArray line = m_pending.left(end);
                    m_pending.remove(0, end + 2);
                    if (line == "BYE")
                        socket->disconnectFromHost();
                    else if (line != "SILENT")
                        socket->write("OK " + line + "\r\n");
                }
            });
        });
    }
    QString port() const { return QString::number(m_server.serverPort()); }
    QByteArray received;

  private:
    QTcpServer m_server;
    QByteArray m_pending;
};

TEST(TcpCommand, PrintsTheResponseOfEachCommandInTurn) {
    EchoPeer peer;
    const CliRun run = runCli({u"tcp"_s, u"127.0.0.1"_s, peer.port(), u"PLAY 1"_s, u"STOP"_s});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"OK PLAY 1\r\nOK STOP\r\n"_s);
    EXPECT_EQ(peer.received, QByteArray("PLAY 1\r\nSTOP\r\n"));
    const CliRun raw = runCli({u"tcp"_s, u"--raw"_s, u"127.0.0.1"_s, peer.port(), u"RAW\r\n"_s});
    EXPECT_EQ(raw.status, 0) << raw.err.toStdString();
    EXPECT_EQ(peer.received, QByteArray("PLAY 1\r\nSTOP\r\nRAW\r\n")) << "raw commands go out as given";
}

TEST(TcpCommand, FailsWhenTheConnectionEndsOrNoResponseComes) {
    EchoPeer peer;
    const CliRun hangUp = runCli({u"tcp"_s, u"127.0.0.1"_s, peer.port(), u"A"_s, u"BYE"_s, u"C"_s});
    EXPECT_EQ(hangUp.status, 1);
    EXPECT_EQ(hangUp.out, u"OK A\r\n"_s);
    EXPECT_TRUE(hangUp.err.contains(u"BYE"_s)) << hangUp.err.toStdString();

    const CliRun silent =
        runCli({u"tcp"_s, u"--timeout"_s, u"0.2"_s, u"127.0.0.1"_s, peer.port(), u"SILENT"_s});
    EXPECT_EQ(silent.status, 1);
    EXPECT_TRUE(silent.err.contains(u"no response"_s)) << silent.err.toStdString();
}

TEST(TcpCommand, RejectsUnusableArguments) {
    for (const QString& line :
         {u"tcp 127.0.0.1 2001"_s, u"tcp 127.0.0.1 port A"_s, u"tcp 127.0.0.1 70000 A"_s,
          u"tcp --timeout 0 h 1 A"_s, u"tcp --loud h 1 A"_s, u"tcp 127.0.0.1 2001 caf\u00E9"_s}) {
        const CliRun run = runCli(testing_support::words(line));
        EXPECT_EQ(run.status, 2) << line.toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
}

} // namespace

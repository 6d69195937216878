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
    const CliRun run = runCli({QStringLiteral("tcp"), QStringLiteral("127.0.0.1"), peer.port(),
                               QStringLiteral("PLAY 1"), QStringLiteral("STOP")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("OK PLAY 1\r\nOK STOP\r\n"));
    EXPECT_EQ(peer.received, QByteArray("PLAY 1\r\nSTOP\r\n"));
    const CliRun raw = runCli({QStringLiteral("tcp"), QStringLiteral("--raw"), QStringLiteral("127.0.0.1"),
                               peer.port(), QStringLiteral("RAW\r\n")});
    EXPECT_EQ(raw.status, 0) << raw.err.toStdString();
    EXPECT_EQ(peer.received, QByteArray("PLAY 1\r\nSTOP\r\nRAW\r\n")) << "raw commands go out as given";
}

TEST(TcpCommand, FailsWhenTheConnectionEndsOrNoResponseComes) {
    EchoPeer peer;
    const CliRun hangUp = runCli({QStringLiteral("tcp"), QStringLiteral("127.0.0.1"), peer.port(),
                                  QStringLiteral("A"), QStringLiteral("BYE"), QStringLiteral("C")});
    EXPECT_EQ(hangUp.status, 1);
    EXPECT_EQ(hangUp.out, QStringLiteral("OK A\r\n"));
    EXPECT_TRUE(hangUp.err.contains(QStringLiteral("BYE"))) << hangUp.err.toStdString();

    const CliRun silent = runCli({QStringLiteral("tcp"), QStringLiteral("--timeout"), QStringLiteral("0.2"),
                                  QStringLiteral("127.0.0.1"), peer.port(), QStringLiteral("SILENT")});
    EXPECT_EQ(silent.status, 1);
    EXPECT_TRUE(silent.err.contains(QStringLiteral("no response"))) << silent.err.toStdString();
}

TEST(TcpCommand, RejectsUnusableArguments) {
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("tcp"), QStringLiteral("127.0.0.1"), QStringLiteral("2001")},
          QStringList{QStringLiteral("tcp"), QStringLiteral("127.0.0.1"), QStringLiteral("port"),
                      QStringLiteral("A")},
          QStringList{QStringLiteral("tcp"), QStringLiteral("127.0.0.1"), QStringLiteral("70000"),
                      QStringLiteral("A")},
          QStringList{QStringLiteral("tcp"), QStringLiteral("--timeout"), QStringLiteral("0"),
                      QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("A")},
          QStringList{QStringLiteral("tcp"), QStringLiteral("--loud"), QStringLiteral("h"),
                      QStringLiteral("1"), QStringLiteral("A")},
          QStringList{QStringLiteral("tcp"), QStringLiteral("127.0.0.1"), QStringLiteral("2001"),
                      QStringLiteral("caf\u00E9")}}) {
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, 2) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
}

} // namespace

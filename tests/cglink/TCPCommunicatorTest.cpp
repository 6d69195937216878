#include "cglink/TCPCommunicator.h"

#include "cglink/TCPCommunicatorWire.h"
#include "testkit/CliRun.h"
#include "testkit/TestHelpers.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

using testing_support::CliRun;
using testing_support::runCli;
using testing_support::spinFor;
using testing_support::waitUntil;
using namespace std::chrono_literals;

// MARK: - Wire rules

TEST(TCPCommunicatorWire, CommandsGoOutAsAsciiAndResponsesMarkOtherBytes) {
    const struct {
        QString command;
        std::optional<QByteArray> bytes; // none: refused
    } commands[] = {
        {u"PLAY 1\r\n"_s, QByteArray("PLAY 1\r\n")},
        {QString(), QByteArray()},
        {QString(QChar(0x7F)), QByteArray("\x7F")},
        {u"caf\u00E9\r\n"_s, std::nullopt},
        {QString(QChar(0x80)), std::nullopt},
        {u"\u2028"_s, std::nullopt},
        {QString::fromUtf16(u"\U0001F600"), std::nullopt},
    };
    for (const auto& c : commands)
        EXPECT_EQ(TCPCommunicatorWire::encodeCommand(c.command), c.bytes) << c.command.toStdString();

    // A NUL byte stays in the text (the channel's test marks the bytes above ASCII).
    EXPECT_EQ(TCPCommunicatorWire::decodeResponse(QByteArray("a\0b", 3)), QString::fromUtf16(u"a\u0000b", 3));
}

TEST(TCPCommunicatorWire, SplitsIntoReadsOfAtMost2048Bytes) {
    struct Case {
        qsizetype size;
        QList<qsizetype> pieces;
    };
    for (const Case& c : {Case{0, {}}, Case{1, {1}}, Case{2048, {2048}}, Case{2049, {2048, 1}},
                          Case{3000, {2048, 952}}, Case{4096, {2048, 2048}}}) {
        QByteArray bytes(c.size, 'r');
        if (!bytes.isEmpty())
            bytes[0] = 'F';
        const QList<QByteArray> responses = TCPCommunicatorWire::splitResponses(bytes);
        QList<qsizetype> sizes;
        for (const QByteArray& response : responses)
            sizes.append(response.size());
        EXPECT_EQ(sizes, c.pieces) << c.size;
        EXPECT_EQ(responses.join(), bytes);
    }
}

// MARK: - Channel against a loopback server

/// A command server on loopback that answers only when the test says so, or, echoing, answers every
/// CR LF-terminated line itself with "OK <line>" (nothing to "SILENT"; it hangs up on "BYE").
class CommandPeer {
  public:
    explicit CommandPeer(bool echoing = false) {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this, echoing] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                m_connections.push_back(socket);
                m_received.append(QByteArray());
                m_echoed.append(0);
                const qsizetype index = m_received.size() - 1;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, index, echoing] {
                    m_received[index] += socket->readAll();
                    if (echoing)
                        echo(socket, index);
                });
            }
        });
    }

    qint32 port() const { return m_server.serverPort(); }
    qsizetype connectionCount() const { return m_connections.size(); }
    /// What the newest connection has received.
    QByteArray received() const { return m_received.isEmpty() ? QByteArray() : m_received.last(); }
    QByteArray receivedOnAllConnections() const { return m_received.join(); }
    bool waitForReceived(const QByteArray& bytes) {
        return waitUntil([&] { return received() == bytes; });
    }

    void reply(const QByteArray& bytes) {
        QTcpSocket* socket = m_connections.back();
        socket->write(bytes);
        socket->flush();
    }
    void closeConnection() { m_connections.back()->disconnectFromHost(); }

  private:
    void echo(QTcpSocket* socket, qsizetype index) {
        for (qsizetype end; (end = m_received[index].indexOf("\r\n", m_echoed[index])) >= 0;) {
            const QByteArray line = m_received[index].sliced(m_echoed[index], end - m_echoed[index]);
            m_echoed[index] = end + 2;
            if (line == "BYE")
                socket->disconnectFromHost();
            else if (line != "SILENT")
                socket->write("OK " + line + "\r\n");
        }
    }

    QTcpServer m_server;
    std::vector<QTcpSocket*> m_connections; // children of the server
    QList<QByteArray> m_received;
    QList<qsizetype> m_echoed; // per connection, the bytes already answered
};

/// Collects the commands that callbacks receive.
struct Responses {
    std::vector<TCPCommunicatorCommand> commands;

    TCPCommunicatorResponseHandler handler() {
        return [this](const TCPCommunicatorCommand& command) { commands.push_back(command); };
    }
    bool waitFor(size_t count) {
        return waitUntil([&] { return commands.size() >= count; });
    }
};

class TCPCommunicatorChannel : public ::testing::Test {
  protected:
    void open() {
        ASSERT_TRUE(channel.openConnectionToHost(u"127.0.0.1"_s, peer.port()));
        ASSERT_TRUE(waitUntil([&] { return channel.status() == TCPCommunicator::Ready; }));
    }
    bool send(const QString& command) { return channel.sendCommand(command, nullptr, responses.handler()); }

    CommandPeer peer;
    TCPCommunicator channel;
    Responses responses;
};

// Every status change is reported, and a response's bytes outside ASCII are marked.
TEST_F(TCPCommunicatorChannel, SendsTheSecondCommandOnlyAfterTheFirstResponse) {
    QList<qint32> statuses;
    QObject::connect(&channel, &TCPCommunicator::statusChanged, &channel,
                     [&](qint32 status) { statuses.append(status); });
    open();
    ASSERT_TRUE(send(u"ONE\r\n"_s));
    ASSERT_TRUE(send(u"TWO\r\n"_s));
    EXPECT_EQ(channel.status(), TCPCommunicator::AwaitingResponse);
    ASSERT_TRUE(peer.waitForReceived("ONE\r\n"));
    spinFor(100ms);
    EXPECT_EQ(peer.received(), QByteArray("ONE\r\n"));
    EXPECT_EQ(channel.commands().size(), 2u);

    peer.reply("R1\r\n");
    ASSERT_TRUE(responses.waitFor(1));
    ASSERT_TRUE(peer.waitForReceived("ONE\r\nTWO\r\n"));
    peer.reply("Z\xC3\xBCrich");
    ASSERT_TRUE(responses.waitFor(2));

    EXPECT_EQ(responses.commands[0].commandString(), u"ONE\r\n"_s);
    EXPECT_EQ(responses.commands[0].responseString(), u"R1\r\n"_s);
    EXPECT_EQ(responses.commands[1].commandString(), u"TWO\r\n"_s);
    EXPECT_EQ(responses.commands[1].responseData(), QByteArray("Z\xC3\xBCrich"));
    EXPECT_EQ(responses.commands[1].responseString(), QString::fromUtf16(u"Z\uFFFD\uFFFDrich"));
    EXPECT_TRUE(channel.commands().empty());
    EXPECT_EQ(channel.status(), TCPCommunicator::Ready);
    channel.closeConnection();
    EXPECT_EQ(statuses, (QList<qint32>{TCPCommunicator::Opening, TCPCommunicator::Ready,
                                       TCPCommunicator::AwaitingResponse, TCPCommunicator::Ready,
                                       TCPCommunicator::AwaitingResponse, TCPCommunicator::Ready,
                                       TCPCommunicator::Closed}));
}

// A burst answers the waiting commands 2048 bytes each; bytes that answer no command (before any
// was sent, or left over) are dropped, and the next command gets its own answer.
TEST_F(TCPCommunicatorChannel, SplitsBurstsOverWaitingCommandsAndDropsTheRest) {
    open();
    peer.reply("WELCOME\r\n");
    spinFor(200ms);
    EXPECT_EQ(channel.status(), TCPCommunicator::Ready);
    ASSERT_TRUE(send(u"FIRST\r\n"_s));
    ASSERT_TRUE(send(u"SECOND\r\n"_s));
    ASSERT_TRUE(peer.waitForReceived("FIRST\r\n"));
    QByteArray burst(3000, 'x');
    burst[0] = 'A';
    burst[2048] = 'B';
    peer.reply(burst);
    ASSERT_TRUE(responses.waitFor(2));
    EXPECT_EQ(responses.commands[0].commandString(), u"FIRST\r\n"_s);
    EXPECT_EQ(responses.commands[0].responseData(), burst.first(2048));
    EXPECT_EQ(responses.commands[1].commandString(), u"SECOND\r\n"_s);
    EXPECT_EQ(responses.commands[1].responseData(), burst.sliced(2048));
    // The second command still goes out: it was sent once the first was answered.
    ASSERT_TRUE(peer.waitForReceived("FIRST\r\nSECOND\r\n"));

    ASSERT_TRUE(send(u"ONLY\r\n"_s));
    ASSERT_TRUE(peer.waitForReceived("FIRST\r\nSECOND\r\nONLY\r\n"));
    peer.reply(QByteArray(3000, 'y'));
    ASSERT_TRUE(responses.waitFor(3));
    EXPECT_EQ(responses.commands[2].responseData(), QByteArray(2048, 'y'));
    spinFor(100ms);
    ASSERT_TRUE(send(u"NEXT\r\n"_s));
    ASSERT_TRUE(peer.waitForReceived("FIRST\r\nSECOND\r\nONLY\r\nNEXT\r\n"));
    peer.reply("own\r\n");
    ASSERT_TRUE(responses.waitFor(4));
    EXPECT_EQ(responses.commands[3].responseString(), u"own\r\n"_s);
}

// The command sent to the closed channel reopens it and waits until it is connected.
TEST_F(TCPCommunicatorChannel, ServerClosingWhileACommandWaitsDropsTheQueueAndTheNextSendReconnects) {
    open();
    ASSERT_TRUE(send(u"HANG\r\n"_s));
    ASSERT_TRUE(send(u"BEHIND\r\n"_s));
    ASSERT_TRUE(peer.waitForReceived("HANG\r\n"));
    peer.closeConnection();
    ASSERT_TRUE(waitUntil([&] { return channel.status() == TCPCommunicator::Closed; }));
    EXPECT_TRUE(channel.commands().empty());
    EXPECT_FALSE(channel.lastErrorString().isEmpty());
    spinFor(50ms);
    EXPECT_TRUE(responses.commands.empty());

    ASSERT_TRUE(send(u"AGAIN\r\n"_s));
    EXPECT_EQ(channel.status(), TCPCommunicator::Opening);
    EXPECT_EQ(channel.commands().size(), 1u);
    EXPECT_EQ(channel.hostName(), u"127.0.0.1"_s);
    EXPECT_EQ(channel.portNumber(), peer.port());
    ASSERT_TRUE(waitUntil([&] { return peer.connectionCount() == 2; }));
    ASSERT_TRUE(peer.waitForReceived("AGAIN\r\n"));
    EXPECT_EQ(channel.status(), TCPCommunicator::AwaitingResponse);
    peer.reply("BACK\r\n");
    ASSERT_TRUE(responses.waitFor(1));
    EXPECT_EQ(responses.commands[0].commandString(), u"AGAIN\r\n"_s);
    EXPECT_EQ(responses.commands[0].responseString(), u"BACK\r\n"_s);
}

// Fault guarded: a command that cannot go out as ASCII left the channel awaiting an answer forever.
TEST_F(TCPCommunicatorChannel, RefusesACommandOutsideAsciiAndLeavesTheChannelAsItWas) {
    open();
    platform::Error error;
    EXPECT_FALSE(channel.sendCommand(u"SHOW caf\u00E9\r\n"_s, nullptr, responses.handler(), &error));
    EXPECT_EQ(error.domain, TCPCommunicator::ErrorDomain);
    EXPECT_EQ(error.code, TCPCommunicator::NotASCIIError);
    EXPECT_TRUE(error.localizedDescription().contains(u"ASCII"_s));
    EXPECT_EQ(channel.status(), TCPCommunicator::Ready);
    EXPECT_TRUE(channel.commands().empty());

    // A closed channel is not reopened for it either.
    CommandPeer otherPeer;
    TCPCommunicator closed;
    ASSERT_TRUE(closed.openConnectionToHost(u"127.0.0.1"_s, otherPeer.port()));
    closed.closeConnection();
    EXPECT_FALSE(closed.sendCommand(u"\u00FC"_s, nullptr, {}));
    EXPECT_EQ(closed.status(), TCPCommunicator::Closed);
}

// Fault guarded: sending before any usable host was given had nowhere to connect to.
TEST_F(TCPCommunicatorChannel, RefusesUnusableAddressesAndSendingWithoutAHost) {
    const struct {
        std::optional<QString> host; // none: no address given at all
        qint32 port;
    } cases[] = {{std::nullopt, 0},
                 {QString(), 2001},
                 {u"127.0.0.1"_s, 0},
                 {u"127.0.0.1"_s, -1},
                 {u"127.0.0.1"_s, 65536}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host.value_or(u"(none)"_s).toStdString() + ":" + std::to_string(c.port));
        TCPCommunicator fresh;
        platform::Error error;
        if (c.host) {
            EXPECT_FALSE(fresh.openConnectionToHost(*c.host, c.port, &error));
            EXPECT_EQ(error.code, TCPCommunicator::InvalidAddressError);
            EXPECT_TRUE(fresh.hostName().isEmpty());
        }
        EXPECT_FALSE(fresh.sendCommand(u"PING\r\n"_s, nullptr, responses.handler(), &error));
        EXPECT_EQ(error.code, TCPCommunicator::NoHostError);
        EXPECT_FALSE(error.localizedDescription().isEmpty());
        EXPECT_EQ(fresh.status(), TCPCommunicator::Closed);
        EXPECT_TRUE(fresh.commands().empty());
    }
}

TEST_F(TCPCommunicatorChannel, ARefusedConnectionClosesAndDropsTheQueue) {
    ASSERT_TRUE(channel.openConnectionToHost(u"127.0.0.1"_s, testing_support::closedPort()));
    ASSERT_TRUE(send(u"LOST\r\n"_s));
    ASSERT_TRUE(waitUntil([&] { return channel.status() == TCPCommunicator::Closed; }));
    EXPECT_TRUE(channel.commands().empty());
    EXPECT_FALSE(channel.lastErrorString().isEmpty());
    EXPECT_TRUE(responses.commands.empty());
}

// MARK: - Callbacks

class Receiver : public QObject {
  public:
    void takeResponse(const TCPCommunicatorCommand& command) { answers.append(command.responseString()); }
    QStringList answers;
};

TEST_F(TCPCommunicatorChannel, CallsAMemberFunctionOfTheSenderUnlessTheSenderIsGone) {
    open();
    auto gone = std::make_unique<Receiver>();
    Receiver stays;
    ASSERT_TRUE(channel.sendCommand(u"GONE\r\n"_s, gone.get(), &Receiver::takeResponse));
    ASSERT_TRUE(channel.sendCommand(u"STAYS\r\n"_s, &stays, &Receiver::takeResponse));
    ASSERT_TRUE(peer.waitForReceived("GONE\r\n"));
    gone.reset();
    peer.reply("for nobody\r\n");
    ASSERT_TRUE(peer.waitForReceived("GONE\r\nSTAYS\r\n"));
    peer.reply("member\r\n");
    ASSERT_TRUE(waitUntil([&] { return !stays.answers.isEmpty(); }));
    EXPECT_EQ(stays.answers, QStringList{u"member\r\n"_s});
}

TEST_F(TCPCommunicatorChannel, CallbacksMayQueueCloseOrDestroyTheChannelAndADestroyedOneCallsNone) {
    open();
    // Queue the next command from the callback.
    QStringList chain;
    ASSERT_TRUE(channel.sendCommand(u"A\r\n"_s, nullptr, [&](const TCPCommunicatorCommand& command) {
        chain.append(command.responseString());
        channel.sendCommand(u"B\r\n"_s, nullptr,
                            [&](const TCPCommunicatorCommand& next) { chain.append(next.responseString()); });
    }));
    ASSERT_TRUE(peer.waitForReceived("A\r\n"));
    peer.reply("a");
    ASSERT_TRUE(peer.waitForReceived("A\r\nB\r\n"));
    peer.reply("b");
    ASSERT_TRUE(waitUntil([&] { return chain.size() == 2; }));
    EXPECT_EQ(chain, (QStringList{u"a"_s, u"b"_s}));

    // Close from the callback: the command behind it is dropped and the channel stays closed.
    ASSERT_TRUE(channel.sendCommand(u"C\r\n"_s, nullptr,
                                    [&](const TCPCommunicatorCommand&) { channel.closeConnection(); }));
    ASSERT_TRUE(send(u"D\r\n"_s));
    ASSERT_TRUE(peer.waitForReceived("A\r\nB\r\nC\r\n"));
    peer.reply("c");
    ASSERT_TRUE(waitUntil([&] { return channel.status() == TCPCommunicator::Closed; }));
    spinFor(50ms);
    EXPECT_EQ(channel.status(), TCPCommunicator::Closed);
    EXPECT_TRUE(channel.commands().empty());
    EXPECT_TRUE(responses.commands.empty());

    // Destroy from the callback, with more of the response still to come.
    auto owned = std::make_unique<TCPCommunicator>();
    ASSERT_TRUE(owned->openConnectionToHost(u"127.0.0.1"_s, peer.port()));
    bool called = false;
    ASSERT_TRUE(owned->sendCommand(u"E\r\n"_s, nullptr, [&](const TCPCommunicatorCommand&) {
        called = true;
        owned.reset();
    }));
    owned->sendCommand(u"F\r\n"_s, nullptr, responses.handler());
    ASSERT_TRUE(peer.waitForReceived("E\r\n"));
    peer.reply(QByteArray(3000, 'e'));
    ASSERT_TRUE(waitUntil([&] { return called; }));
    spinFor(50ms);
    EXPECT_FALSE(owned);
    EXPECT_TRUE(responses.commands.empty());

    // Destroyed while a command waits: its callback never runs.
    owned = std::make_unique<TCPCommunicator>();
    ASSERT_TRUE(owned->openConnectionToHost(u"127.0.0.1"_s, peer.port()));
    ASSERT_TRUE(owned->sendCommand(u"WAIT\r\n"_s, nullptr, responses.handler()));
    ASSERT_TRUE(peer.waitForReceived("WAIT\r\n"));
    owned.reset();
    peer.reply("late\r\n");
    spinFor(50ms);
    EXPECT_TRUE(responses.commands.empty());
}

// MARK: - The command line

TEST(TcpCommand, PrintsTheResponseOfEachCommandInTurn) {
    CommandPeer peer(true);
    const QString port = QString::number(peer.port());
    const CliRun run = runCli({u"tcp"_s, u"127.0.0.1"_s, port, u"PLAY 1"_s, u"STOP"_s});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"OK PLAY 1\r\nOK STOP\r\n"_s);
    EXPECT_EQ(peer.receivedOnAllConnections(), QByteArray("PLAY 1\r\nSTOP\r\n"));
    const CliRun raw = runCli({u"tcp"_s, u"--raw"_s, u"127.0.0.1"_s, port, u"RAW\r\n"_s});
    EXPECT_EQ(raw.status, 0) << raw.err.toStdString();
    EXPECT_EQ(peer.receivedOnAllConnections(), QByteArray("PLAY 1\r\nSTOP\r\nRAW\r\n"))
        << "raw commands go out as given";
}

TEST(TcpCommand, FailsWhenTheConnectionEndsOrNoResponseComes) {
    CommandPeer peer(true);
    const QString port = QString::number(peer.port());
    const CliRun hangUp = runCli({u"tcp"_s, u"127.0.0.1"_s, port, u"A"_s, u"BYE"_s, u"C"_s});
    EXPECT_EQ(hangUp.status, 1);
    EXPECT_EQ(hangUp.out, u"OK A\r\n"_s);
    EXPECT_TRUE(hangUp.err.contains(u"BYE"_s)) << hangUp.err.toStdString();

    const CliRun silent = runCli({u"tcp"_s, u"--timeout"_s, u"0.2"_s, u"127.0.0.1"_s, port, u"SILENT"_s});
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

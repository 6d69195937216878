#include "cli/TcpCommand.h"

#include "cglink/TCPCommunicator.h"
#include "cli/EventLoopWait.h"

#include <optional>

namespace cli {

namespace {

constexpr double DefaultTimeoutSeconds = 10.0;

struct TcpArguments {
    QString host;
    qint32 port = 0;
    QStringList commands;
    bool raw = false;
    double timeoutSeconds = DefaultTimeoutSeconds;
};

/// Nullopt and `problem` set when the arguments do not make a call.
std::optional<TcpArguments> parseArguments(const QStringList& arguments, QString& problem) {
    TcpArguments parsed;
    QStringList positional;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QStringLiteral("--raw")) {
            parsed.raw = true;
        } else if (argument == QStringLiteral("--timeout") ||
                   argument.startsWith(QStringLiteral("--timeout="))) {
            QString value;
            if (argument.contains(QLatin1Char('=')))
                value = argument.section(QLatin1Char('='), 1);
            else if (i + 1 < arguments.size())
                value = arguments.at(++i);
            bool ok = false;
            parsed.timeoutSeconds = value.toDouble(&ok);
            if (!ok || !(parsed.timeoutSeconds > 0)) {
                problem = QStringLiteral("--timeout needs a number of seconds above 0");
                return std::nullopt;
            }
        } else if (argument.startsWith(QStringLiteral("--"))) {
            problem = QStringLiteral("unknown option %1").arg(argument);
            return std::nullopt;
        } else {
            positional.append(argument);
        }
    }
    if (positional.size() < 3) {
        problem = QStringLiteral("needs HOST, PORT and at least one COMMAND");
        return std::nullopt;
    }
    parsed.host = positional.takeFirst();
    bool ok = false;
    const QString port = positional.takeFirst();
    parsed.port = port.toInt(&ok);
    if (!ok || parsed.port < 1 || parsed.port > 65535) {
        problem = QStringLiteral("PORT must be a number from 1 to 65535, not “%1”").arg(port);
        return std::nullopt;
    }
    parsed.commands = positional;
    return parsed;
}

} // namespace

QString TcpCommand::help() const {
    return QStringLiteral(
        "Usage: graflink-cli tcp HOST PORT COMMAND... [--raw] [--timeout SECONDS]\n\n"
        "Opens one TCP command channel to HOST:PORT and sends each COMMAND in turn, the next one\n"
        "only after the previous one's response. Each command gets CR LF appended unless --raw is\n"
        "given. Prints each response as received, followed by a line break when it does not end\n"
        "with one. Commands must be ASCII.\n\n"
        "A response is what one read delivers (at most 2048 bytes): a longer answer is taken as the\n"
        "responses of the commands behind it.\n\n"
        "  --raw              send the commands exactly as given\n"
        "  --timeout SECONDS  how long to wait for each response (default 10)\n\n"
        "Exit status 1 when the connection fails or ends, or a response does not come in time.\n");
}

int TcpCommand::run(CliContext& context, const QStringList& arguments) {
    QString problem;
    const std::optional<TcpArguments> parsed = parseArguments(arguments, problem);
    if (!parsed) {
        context.err << "graflink-cli tcp: " << problem << "\nTry 'graflink-cli tcp --help'." << Qt::endl;
        return UsageError;
    }

    TCPCommunicator channel;
    platform::Error error;
    if (!channel.openConnectionToHost(parsed->host, parsed->port, &error)) {
        context.err << "graflink-cli tcp: " << error.localizedDescription() << Qt::endl;
        return UsageError;
    }
    qsizetype answered = 0;
    for (const QString& command : parsed->commands) {
        const QString text = parsed->raw ? command : command + QStringLiteral("\r\n");
        const bool queued = channel.sendCommand(
            text, nullptr,
            [&](const TCPCommunicatorCommand& done) {
                ++answered;
                context.out << done.responseString();
                if (!done.responseString().endsWith(QLatin1Char('\n')))
                    context.out << '\n';
                context.out.flush();
            },
            &error);
        if (!queued) {
            context.err << "graflink-cli tcp: " << error.localizedDescription() << Qt::endl;
            return UsageError;
        }
    }

    const auto timeout = std::chrono::milliseconds(static_cast<qint64>(parsed->timeoutSeconds * 1000));
    const qsizetype total = parsed->commands.size();
    while (answered < total) {
        const qsizetype before = answered;
        runEventLoopUntil([&] { return answered > before || channel.status() == TCPCommunicator::Closed; },
                          timeout);
        if (answered > before)
            continue;
        const QString& pending = parsed->commands.at(answered);
        if (channel.status() == TCPCommunicator::Closed) {
            context.err << "graflink-cli tcp: the connection to " << parsed->host << ':' << parsed->port
                        << " ended before the response to “" << pending << "”: " << channel.lastErrorString()
                        << Qt::endl;
        } else {
            context.err << "graflink-cli tcp: no response to “" << pending << "” within "
                        << parsed->timeoutSeconds << " s" << Qt::endl;
        }
        return Failure;
    }
    channel.closeConnection();
    return Success;
}

} // namespace cli

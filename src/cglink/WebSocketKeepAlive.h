#pragma once

#include <atomic>
#include <chrono>

/// The keep-alive rules of one web socket, apart from any socket: pings only after more than
/// `silenceThreshold` without a message; an unanswered ping closes the socket at the next firing
/// only if an earlier ping on this socket was answered (a server that never answered a ping is
/// taken not to support pings and is never closed); a pong does not reset the silence clock.
///
/// The flags are single words written from the receive path, the pong handler and the timer.
class WebSocketKeepAlive {
  public:
    using Clock = std::chrono::steady_clock;

    /// What a timer firing asks of the socket.
    enum class Action {
        None,
        SendPing,
        /// A ping is still unanswered and ping errors are ignored: log, change nothing.
        ReportNoAnswer,
        /// A ping is still unanswered, an earlier one was answered: close with 1005.
        CloseUnresponsive,
    };

    explicit WebSocketKeepAlive(std::chrono::milliseconds silenceThreshold = std::chrono::seconds(30),
                                Clock::time_point created = Clock::now());

    Action timerFired(bool isSending, bool ignorePingPongErrors, Clock::time_point now = Clock::now());
    /// Any message, empty ones included.
    void messageReceived(Clock::time_point now = Clock::now());
    void pongReceived();
    /// Returns whether the socket must be closed (with 1005).
    bool pongFailed(bool ignorePingPongErrors);

    bool isWaitingForPingAnswer() const { return m_isWaitingForPingAnswer.load(); }
    bool hasReceivedPong() const { return m_hasReceivedPong.load(); }
    Clock::time_point lastReceivedMessageTime() const {
        return Clock::time_point(Clock::duration(m_lastReceived.load()));
    }
    std::chrono::milliseconds silenceThreshold() const { return m_silenceThreshold; }

  private:
    std::chrono::milliseconds m_silenceThreshold;
    std::atomic<bool> m_isWaitingForPingAnswer{false};
    std::atomic<bool> m_hasReceivedPong{false};
    std::atomic<Clock::rep> m_lastReceived;
};

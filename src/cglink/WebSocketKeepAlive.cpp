#include "cglink/WebSocketKeepAlive.h"

WebSocketKeepAlive::WebSocketKeepAlive(std::chrono::milliseconds silenceThreshold, Clock::time_point created)
    : m_silenceThreshold(silenceThreshold), m_lastReceived(created.time_since_epoch().count()) {}

WebSocketKeepAlive::Action WebSocketKeepAlive::timerFired(bool isSending, bool ignorePingPongErrors,
                                                          Clock::time_point now) {
    if (isSending)
        return Action::None;
    if (now - lastReceivedMessageTime() <= m_silenceThreshold)
        return Action::None;
    if (!m_isWaitingForPingAnswer.load()) {
        m_isWaitingForPingAnswer = true;
        return Action::SendPing;
    }
    if (ignorePingPongErrors)
        return Action::ReportNoAnswer;
    m_isWaitingForPingAnswer = false;
    return m_hasReceivedPong.load() ? Action::CloseUnresponsive : Action::None;
}

void WebSocketKeepAlive::messageReceived(Clock::time_point now) {
    m_isWaitingForPingAnswer = false;
    m_lastReceived = now.time_since_epoch().count();
}

void WebSocketKeepAlive::pongReceived() {
    m_isWaitingForPingAnswer = false;
    m_hasReceivedPong = true;
}

bool WebSocketKeepAlive::pongFailed(bool ignorePingPongErrors) {
    m_isWaitingForPingAnswer = false;
    return !ignorePingPongErrors;
}

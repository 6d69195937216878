#include "cli/DemoFeed.h"

#include <QHostAddress>
#include <QHttpServerResponse>

namespace cli {

namespace {
struct MatchState {
    int minute;
    int home;
    int away;
    const char* headline;
};
// The match as the feed reports it, one step per request.
const MatchState States[] = {
    {67, 2, 1, "Harbour City lead after a <b>second-half</b> header"},
    {71, 2, 2, "Northfield Rovers <b>level</b> from the spot"},
    {78, 3, 2, "Harbour City back in front with a <b>long-range</b> strike"},
    {84, 3, 2, "Northfield Rovers down to <b>ten men</b>"},
};
} // namespace

DemoFeed::DemoFeed(QByteArray feed) : m_feed(std::move(feed)) {
    m_server.route(QStringLiteral("/scores.xml"), [this] {
        const QByteArray body = stateAt(m_requests++);
        return QHttpServerResponse(QByteArrayLiteral("text/xml; charset=utf-8"), body);
    });
}

quint16 DemoFeed::listen() {
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QByteArray DemoFeed::current() const {
    return stateAt(std::max(m_requests - 1, 0));
}

QByteArray DemoFeed::stateAt(int step) const {
    const MatchState& state = States[std::min<int>(step, std::size(States) - 1)];
    QByteArray body = m_feed;
    const QByteArray minute = QByteArray::number(state.minute);
    body.replace("<score>2</score></home>",
                 QByteArray("<score>" + QByteArray::number(state.home) + "</score></home>"));
    body.replace("<score>1</score></away>",
                 QByteArray("<score>" + QByteArray::number(state.away) + "</score></away>"));
    body.replace("minute=\"67\">67<", QByteArray("minute=\"" + minute + "\">" + minute + "<"));
    body.replace("Harbour City lead after a <b>second-half</b> header", state.headline);
    return body;
}

} // namespace cli

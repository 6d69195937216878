#include "rack/LiveUpdates.h"

#include "rack/ControlSnapshot.h"
#include "rack/LivePages.h"

#include <QTcpSocket>

LiveUpdates::LiveUpdates(QByteArray token, ControlSnapshot& snapshot, QObject* parent)
    : QObject(parent), m_control(!token.isEmpty()), m_snapshot(snapshot),
      m_pages(new LivePages(std::move(token))) {
    m_thread.setObjectName(QStringLiteral("control pages"));
    m_pages->moveToThread(&m_thread);
    // Deleted on its own thread as that thread ends, with its server and sockets.
    connect(&m_thread, &QThread::finished, m_pages, &QObject::deleteLater);
    m_thread.start();
    connect(m_pages, &LivePages::authenticated, this, &LiveUpdates::welcome);
    connect(m_pages, &LivePages::pageCountChanged, this, [this](int count) {
        m_pageCount = count;
        changed(); // what changed while the count was on its way
    });
    m_push.setSingleShot(true);
    m_push.setInterval(PushIntervalMs);
    connect(&m_push, &QTimer::timeout, this, &LiveUpdates::push);
    connect(&m_snapshot, &ControlSnapshot::changed, this, &LiveUpdates::changed);
}

LiveUpdates::~LiveUpdates() {
    QMetaObject::invokeMethod(m_pages, &LivePages::closeAll, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void LiveUpdates::accept(QTcpSocket* socket) {
    socket->setParent(nullptr);
    socket->moveToThread(&m_thread);
    QMetaObject::invokeMethod(
        m_pages, [pages = m_pages, socket] { pages->accept(socket); }, Qt::QueuedConnection);
}

void LiveUpdates::welcome(quintptr page) {
    // The pages there are (or are about to be) learn what changed first (the calls keep their
    // order on the pages' thread), so that all of them, the new one too, go on from one state.
    tellPages();
    QMetaObject::invokeMethod(
        m_pages,
        [pages = m_pages, page, everything = m_snapshot.everything(m_control)] {
            pages->welcome(page, everything);
        },
        Qt::QueuedConnection);
}

void LiveUpdates::changed() {
    if (m_pageCount > 0 && !m_push.isActive())
        m_push.start();
}

void LiveUpdates::push() {
    if (m_pageCount > 0)
        tellPages();
}

void LiveUpdates::tellPages() {
    const QByteArray message = m_snapshot.changes();
    if (!message.isEmpty())
        QMetaObject::invokeMethod(
            m_pages, [pages = m_pages, message] { pages->broadcast(message); }, Qt::QueuedConnection);
}

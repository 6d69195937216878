#include "cgsim/CGServerSimulator.h"

#include "cgsim/CGSimServerCore.h"

#include <QFile>
#include <QHostAddress>
#include <QThread>

CGServerSimulator::CGServerSimulator(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)) {}

CGServerSimulator::~CGServerSimulator() {
    stop();
}

bool CGServerSimulator::start(QString* error) {
    if (m_core)
        return true;
    QList<CGSimProject> projects = m_options.projects.value_or(CGSimProjectFile::builtIn());
    if (m_options.projectsFile) {
        QFile file(*m_options.projectsFile);
        if (!file.open(QIODevice::ReadOnly)) {
            if (error)
                *error =
                    QStringLiteral("cannot read %1: %2").arg(*m_options.projectsFile, file.errorString());
            return false;
        }
        QString reason;
        auto parsed = CGSimProjectFile::parse(file.readAll(), &reason);
        if (!parsed) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(*m_options.projectsFile, reason);
            return false;
        }
        projects = std::move(*parsed);
    }
    m_handler =
        std::make_unique<CGSimRequestHandler>(m_options.serverType, m_options.password, std::move(projects));
    m_handler->setUpdateObserver(
        [this](const AcceptedUpdate& update) { Q_EMIT updateAccepted(update.jsonLine()); });
    m_handler->setProjectsChangedObserver([this] { notifyProjectsChanged(); });

    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("CGServerSimulator"));
    m_thread->start();
    bool listening = false;
    QString reason;
    auto* core = new CGSimServerCore(*m_handler, m_options.projectsFile,
                                     [this](const QString& text) { Q_EMIT diagnostic(text); });
    core->moveToThread(m_thread);
    QMetaObject::invokeMethod(
        core, [&] { listening = core->listen(QHostAddress(m_options.address), m_options.port, &reason); },
        Qt::BlockingQueuedConnection);
    if (!listening) {
        QMetaObject::invokeMethod(
            core, [core] { delete core; }, Qt::BlockingQueuedConnection);
        m_thread->quit();
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
        m_handler.reset();
        if (error)
            *error = reason;
        return false;
    }
    m_core = core;
    QMetaObject::invokeMethod(
        core, [this, core] { m_port = core->port(); }, Qt::BlockingQueuedConnection);
    return true;
}

void CGServerSimulator::stop() {
    if (!m_core)
        return;
    CGSimServerCore* core = std::exchange(m_core, nullptr);
    QMetaObject::invokeMethod(
        core, [core] { delete core; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
}

void CGServerSimulator::onCore(std::function<void(CGSimServerCore&)> work) const {
    if (CGSimServerCore* core = m_core)
        QMetaObject::invokeMethod(
            core, [core, work = std::move(work)] { work(*core); }, Qt::QueuedConnection);
}

QUrl CGServerSimulator::httpURL(const QString& pathAndQuery) const {
    QUrl origin;
    origin.setScheme(QStringLiteral("http"));
    origin.setHost(m_options.address); // an IPv6 address comes out in brackets
    origin.setPort(m_port);
    return QUrl(origin.toString() + pathAndQuery);
}

QList<CGServerSimulator::AcceptedUpdate> CGServerSimulator::acceptedUpdates() const {
    return m_handler ? m_handler->acceptedUpdates() : QList<AcceptedUpdate>();
}

void CGServerSimulator::clearAcceptedUpdates() {
    if (m_handler)
        m_handler->clearAcceptedUpdates();
}

QList<CGSimProject> CGServerSimulator::projects() const {
    return m_handler ? m_handler->projects() : QList<CGSimProject>();
}

void CGServerSimulator::setProjects(QList<CGSimProject> projects) {
    if (m_handler)
        m_handler->setProjects(std::move(projects));
}

void CGServerSimulator::notifyProjectsChanged() {
    onCore([](CGSimServerCore& core) { core.notifyClients(); });
}

int CGServerSimulator::webSocketClientCount() const {
    return m_core ? m_core->clientCount() : 0;
}

void CGServerSimulator::closeWebSocketClients(int closeCode) {
    onCore([closeCode](CGSimServerCore& core) { core.closeClients(closeCode); });
}

void CGServerSimulator::setResponseDelay(std::chrono::milliseconds delay) {
    m_handler->setResponseDelay(delay);
}

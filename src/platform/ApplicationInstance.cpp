#include "platform/ApplicationInstance.h"

#include "platform/FreedesktopApplicationAdaptor.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>
#include <QVariantMap>

namespace platform {

namespace {

const QString InterfaceName = QStringLiteral("org.freedesktop.Application");

/// What a launcher passes on so that the window manager lets the running program raise its window.
QVariantMap platformData() {
    static const std::pair<const char*, QLatin1String> keys[] = {
        {"XDG_ACTIVATION_TOKEN", QLatin1String("activation-token")},
        {"DESKTOP_STARTUP_ID", QLatin1String("desktop-startup-id")}};
    QVariantMap data;
    for (const auto& [variable, key] : keys) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            data.insert(key, value);
    }
    return data;
}

} // namespace

ApplicationInstance::ApplicationInstance(QString applicationID, QDBusConnection bus, QObject* parent)
    : QObject(parent), m_applicationID(std::move(applicationID)), m_bus(std::move(bus)) {
    new FreedesktopApplicationAdaptor(this);
}

ApplicationInstance::~ApplicationInstance() {
    if (m_registered) {
        m_bus.unregisterObject(objectPath(m_applicationID));
        m_bus.unregisterService(m_applicationID);
    }
}

QString ApplicationInstance::objectPath(const QString& applicationID) {
    QString path = QLatin1Char('/') + applicationID;
    path.replace(QLatin1Char('.'), QLatin1Char('/'));
    path.replace(QLatin1Char('-'), QLatin1Char('_'));
    return path;
}

ApplicationInstance::Role ApplicationInstance::start(const QStringList& paths, int timeoutMs) {
    if (!m_bus.isConnected() || !m_bus.interface()) {
        m_problem = tr("There is no session bus (%1), so a second start of the program cannot find "
                       "this one.")
                        .arg(m_bus.lastError().message().isEmpty() ? tr("not connected")
                                                                   : m_bus.lastError().message());
        return Role::Alone;
    }
    // The object first, so that a call arriving right after the name is ours finds it.
    if (!m_bus.registerObject(objectPath(m_applicationID), this, QDBusConnection::ExportAdaptors)) {
        m_problem =
            tr("The program could not register on the session bus: %1").arg(m_bus.lastError().message());
        return Role::Alone;
    }
    const auto reply =
        m_bus.interface()->registerService(m_applicationID, QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_registered = true;
        return Role::Primary;
    }
    m_bus.unregisterObject(objectPath(m_applicationID));
    if (!reply.isValid()) {
        m_problem = tr("The program could not register on the session bus: %1").arg(reply.error().message());
        return Role::Alone;
    }

    QDBusMessage call;
    if (paths.isEmpty()) {
        call = QDBusMessage::createMethodCall(m_applicationID, objectPath(m_applicationID), InterfaceName,
                                              QStringLiteral("Activate"));
        call << platformData();
    } else {
        QStringList uris;
        for (const QString& path : paths)
            uris.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded));
        call = QDBusMessage::createMethodCall(m_applicationID, objectPath(m_applicationID), InterfaceName,
                                              QStringLiteral("Open"));
        call << uris << platformData();
    }
    const QDBusMessage answer = m_bus.call(call, QDBus::Block, timeoutMs);
    if (answer.type() == QDBusMessage::ReplyMessage)
        return Role::HandedOver;
    m_problem = tr("%1 is already running but did not take the request: %2")
                    .arg(QCoreApplication::applicationName(), answer.errorMessage());
    return Role::HandOverFailed;
}

void ApplicationInstance::activate() {
    Q_EMIT activateRequested();
}

void ApplicationInstance::open(const QStringList& uris) {
    QStringList paths;
    for (const QString& uri : uris) {
        const QUrl url(uri);
        // File managers send file: addresses; a bare path is taken as one too.
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
        else if (url.scheme().isEmpty() && QFileInfo(uri).isAbsolute())
            paths.append(uri);
    }
    if (paths.isEmpty())
        Q_EMIT activateRequested();
    else
        Q_EMIT openRequested(paths);
}

} // namespace platform

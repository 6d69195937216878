#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

namespace platform {

/// One process per program on the user's session bus, as desktops expect of a program whose desktop
/// entry is D-Bus activatable. The first start owns the program's bus name and takes the
/// org.freedesktop.Application calls (Activate, Open); a later start hands its files to that
/// process and ends.
class ApplicationInstance : public QObject {
    Q_OBJECT
  public:
    enum class Role {
        /// This process owns the name: it is the program.
        Primary,
        /// Another process owns the name and took the files: this one should end.
        HandedOver,
        /// Another process owns the name but did not take the files (problem() says why).
        HandOverFailed,
        /// No session bus (a rack machine, a service): this process runs on its own.
        Alone,
    };

    /// `applicationID` is the reverse-DNS name of the desktop entry ("com.example.Program").
    explicit ApplicationInstance(QString applicationID, QDBusConnection bus = QDBusConnection::sessionBus(),
                                 QObject* parent = nullptr);
    ~ApplicationInstance() override;

    /// Claims the program's bus name; when another process holds it, passes `paths` (files to open;
    /// none only brings the program forward) to that process, waiting at most `timeoutMs`.
    Role start(const QStringList& paths, int timeoutMs = 10000);
    /// Why the bus could not be used or the hand-over failed, in words for the user.
    QString problem() const { return m_problem; }

    static QString objectPath(const QString& applicationID);

    // Called by the bus adaptor.
    void activate();
    void open(const QStringList& uris);

  Q_SIGNALS:
    /// Another start without files, or the desktop's launcher: bring the program forward.
    void activateRequested();
    /// Another start with files, or the file manager: open them (absolute local paths).
    void openRequested(const QStringList& paths);

  private:
    QString m_applicationID;
    QDBusConnection m_bus;
    QString m_problem;
    bool m_registered = false;
};

} // namespace platform

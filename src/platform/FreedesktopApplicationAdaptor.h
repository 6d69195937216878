#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>
#include <QVariantMap>

namespace platform {

class ApplicationInstance;

/// The org.freedesktop.Application interface on the session bus: what file managers, launchers and
/// a second start of the program call. The slots' names and signatures are the interface's.
class FreedesktopApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
  public:
    explicit FreedesktopApplicationAdaptor(ApplicationInstance* instance);

  public Q_SLOTS:
    void Activate(const QVariantMap& platformData);
    void Open(const QStringList& uris, const QVariantMap& platformData);
    void ActivateAction(const QString& actionName, const QVariantList& parameter,
                        const QVariantMap& platformData);

  private:
    ApplicationInstance* m_instance;
};

} // namespace platform

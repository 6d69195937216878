#include "platform/FreedesktopApplicationAdaptor.h"

#include "platform/ApplicationInstance.h"

namespace platform {

FreedesktopApplicationAdaptor::FreedesktopApplicationAdaptor(ApplicationInstance* instance)
    : QDBusAbstractAdaptor(instance), m_instance(instance) {}

void FreedesktopApplicationAdaptor::Activate(const QVariantMap& /*platformData*/) {
    m_instance->activate();
}

void FreedesktopApplicationAdaptor::Open(const QStringList& uris, const QVariantMap& /*platformData*/) {
    m_instance->open(uris);
}

void FreedesktopApplicationAdaptor::ActivateAction(const QString& /*actionName*/,
                                                   const QVariantList& /*parameter*/,
                                                   const QVariantMap& /*platformData*/) {
    // The program offers no desktop actions; bringing it forward is the closest answer.
    m_instance->activate();
}

} // namespace platform

#pragma once

#include "support/SupportSources.h"

#include <QVariantMap>

/// Facts about this machine for support staff: hardware (DMI), the system (os-release, kernel),
/// processor, memory, disks and network interfaces. Every source is optional; what cannot be
/// read is left out. Runs programs and reads files: call it off the main thread.
class SystemProfile {
  public:
    /// "Vendor Product" from the DMI data, or "unknown_device".
    static QString modelName(const SupportSources& sources);
    static QVariantMap gather(const SupportSources& sources);
};

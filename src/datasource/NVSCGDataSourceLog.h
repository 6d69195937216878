#pragma once

#include "platform/StringFormat.h"

#include <QString>

/// The library's diagnostics go to the system console only (never to the program's technical
/// log), one line each. Callable from any thread.
class NVSCGDataSourceLog {
  public:
    static void write(const QString& text);

    template <typename... Args> static void format(const QString& formatString, const Args&... args) {
        write(platform::StringFormat::format(formatString, args...));
    }
};

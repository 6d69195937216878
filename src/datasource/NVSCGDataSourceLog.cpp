#include "datasource/NVSCGDataSourceLog.h"

#include "platform/ConsoleLog.h"

void NVSCGDataSourceLog::write(const QString& text) {
    platform::ConsoleLog::write(text);
}

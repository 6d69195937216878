#include "cglink/NVSSideFileURLSessionController.h"

#include "appbase/NVSLogController.h"

NVSSideFileURLSessionController::NVSSideFileURLSessionController(NVSLogController& logger, QString fileName)
    : m_logger(logger), m_fileName(std::move(fileName)) {}

bool NVSSideFileURLSessionController::logSimpleMessage(const QString& message) {
    m_logger.logSimpleMessage(message, m_fileName);
    return true;
}

#pragma once

#include "cglink/NVSAuthenticatedURLSessionController.h"

class NVSLogController;

/// A session controller that records its and its sessions' log lines in a side file of the
/// technical log ("<prefix><date>_<fileName>.log"), for diagnosing a notification socket.
/// The logger must outlive the controller.
class NVSSideFileURLSessionController : public NVSAuthenticatedURLSessionController {
  public:
    NVSSideFileURLSessionController(NVSLogController& logger, QString fileName);
    bool logSimpleMessage(const QString& message) override;

  private:
    NVSLogController& m_logger;
    const QString m_fileName;
};

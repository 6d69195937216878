#pragma once

#include "appbase/NVSLogControllerDelegate.h"

namespace platform {
class ConsoleWriter;
}

namespace cli {

/// The command line's side of the technical log: shown messages go to stderr for the person at
/// the terminal (unless quiet). Called from any thread.
class CliLogDelegate : public NVSLogControllerDelegate {
  public:
    CliLogDelegate(platform::ConsoleWriter& err, bool quiet) : m_err(err), m_quiet(quiet) {}
    bool displayLogWithInfoDict(const QVariantMap& infoDict) override;

  private:
    platform::ConsoleWriter& m_err;
    bool m_quiet;
};

} // namespace cli

#pragma once

#include "appbase/NVSLogControllerDelegate.h"

#include <QTextStream>
#include <mutex>

namespace cli {

/// The command line's side of the technical log: shown messages go to stderr for the person at
/// the terminal (unless quiet).
class CliLogDelegate : public NVSLogControllerDelegate {
public:
    CliLogDelegate(QTextStream& err, bool quiet) : m_err(err), m_quiet(quiet) {}
    bool displayLogWithInfoDict(const QVariantMap& infoDict) override;

private:
    QTextStream& m_err;
    bool m_quiet;
    std::mutex m_mutex;
};

} // namespace cli

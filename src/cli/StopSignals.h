#pragma once

namespace cli {

/// SIGINT and SIGTERM as an event: waitForStopSignal() runs the main event loop until one
/// arrives, so long-running subcommands stop cleanly. Call on the main thread.
class StopSignals {
public:
    /// Returns the signal number that ended the wait.
    static int waitForStopSignal();
};

} // namespace cli

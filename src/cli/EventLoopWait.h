#pragma once

#include <chrono>
#include <functional>

namespace cli {

/// Runs the main event loop until `done` holds or `timeout` passes; returns whether it holds.
/// Subcommands wait this way for fetches and timers, as the desktop program's loop would run them.
bool runEventLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

} // namespace cli

#include "cli/CliApplication.h"

namespace cli {

void registerBuiltInCommands(CliApplication& /*application*/) {
    // Subcommands arrive with the subsystems they drive.
}

} // namespace cli

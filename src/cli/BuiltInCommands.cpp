#include "cli/CliApplication.h"
#include "cli/NewCommand.h"
#include "cli/PathsCommand.h"
#include "cli/RefreshCommand.h"

namespace cli {

void registerBuiltInCommands(CliApplication& application) {
    application.registerCommand(std::make_unique<NewCommand>());
    application.registerCommand(std::make_unique<PathsCommand>());
    application.registerCommand(std::make_unique<RefreshCommand>());
}

} // namespace cli

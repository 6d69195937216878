#include "cli/CliCommand.h"

namespace cli {

CliCommand::~CliCommand() = default;

} // namespace cli

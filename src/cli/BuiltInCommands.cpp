#include "cli/CgsimCommand.h"
#include "cli/ClearCommand.h"
#include "cli/CliApplication.h"
#include "cli/CsvCommand.h"
#include "cli/DataSourceExportCommand.h"
#include "cli/DataSourceNewCommand.h"
#include "cli/DataSourceSetCommand.h"
#include "cli/DataSourceShowCommand.h"
#include "cli/DataSourceWatchCommand.h"
#include "cli/DemoCommand.h"
#include "cli/NewCommand.h"
#include "cli/PathsCommand.h"
#include "cli/ProjectsCommand.h"
#include "cli/RecordCommand.h"
#include "cli/RefreshCommand.h"
#include "cli/ReplayCommand.h"
#include "cli/RunCommand.h"
#include "cli/SupportCollectCommand.h"
#include "cli/SupportUploadCommand.h"
#include "cli/TcpCommand.h"

namespace cli {

void registerBuiltInCommands(CliApplication& application) {
    application.registerCommand(std::make_unique<NewCommand>());
    application.registerCommand(std::make_unique<PathsCommand>());
    application.registerCommand(std::make_unique<RefreshCommand>());
    application.registerCommand(std::make_unique<ClearCommand>());
    application.registerCommand(std::make_unique<RunCommand>());
    application.registerCommand(std::make_unique<DemoCommand>());
    application.registerCommand(std::make_unique<DataSourceNewCommand>());
    application.registerCommand(std::make_unique<DataSourceSetCommand>());
    application.registerCommand(std::make_unique<DataSourceShowCommand>());
    application.registerCommand(std::make_unique<CsvCommand>());
    application.registerCommand(std::make_unique<TcpCommand>());
    application.registerCommand(std::make_unique<ProjectsCommand>());
    application.registerCommand(std::make_unique<CgsimCommand>());
    application.registerCommand(std::make_unique<DataSourceExportCommand>());
    application.registerCommand(std::make_unique<DataSourceWatchCommand>());
    application.registerCommand(std::make_unique<SupportCollectCommand>());
    application.registerCommand(std::make_unique<SupportUploadCommand>());
    application.registerCommand(std::make_unique<RecordCommand>());
    application.registerCommand(std::make_unique<ReplayCommand>());
}

} // namespace cli

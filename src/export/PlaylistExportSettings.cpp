#include "export/PlaylistExportSettings.h"

#include "export/NVSDataSourceExport.h"
#include "platform/UserDefaults.h"

PlaylistExportSettings PlaylistExportSettings::fromUserDefaults(const platform::UserDefaults& defaults) {
    PlaylistExportSettings settings;
    settings.stillImagePath =
        defaults.stringForKey(NVSDataSourceExport::StillImagePathKey).value_or(QString());
    settings.CGProjectsNames = defaults.stringArrayForKey(NVSDataSourceExport::CGProjectsNamesKey);
    settings.raceStartActionName =
        defaults.stringForKey(NVSDataSourceExport::RaceStartActionNameKey).value_or(QString());
    settings.candidateDisplayDuration =
        defaults.doubleForKey(NVSDataSourceExport::CandidateDisplayDurationKey);
    return settings;
}

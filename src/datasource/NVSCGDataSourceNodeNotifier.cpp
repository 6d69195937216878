#include "datasource/NVSCGDataSourceNodeNotifier.h"

NVSCGDataSourceNodeNotifier::~NVSCGDataSourceNodeNotifier() = default;

#pragma once

#include "datasource/NVSCGDataSourceExport.h"

class NVSCGDataSource;

/// Told on the main thread when a data source's row list has changed. Not owned by the data source.
class NVSCGDATASOURCE_EXPORT NVSCGDataSourceDelegate {
  public:
    virtual ~NVSCGDataSourceDelegate();
    virtual void dataSourceContentChanged(NVSCGDataSource* dataSource) = 0;
};

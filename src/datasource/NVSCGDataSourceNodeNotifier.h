#pragma once

#include "datasource/NVSCGDataSourceExport.h"

#include <QObject>

/// Change signals of one NVSCGDataSourceNode, for views bound to it. Lives on the main thread.
class NVSCGDATASOURCE_EXPORT NVSCGDataSourceNodeNotifier : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    ~NVSCGDataSourceNodeNotifier() override;

  Q_SIGNALS:
    void selectedChanged(bool selected);
    void isActiveRowChanged(bool isActiveRow);
};

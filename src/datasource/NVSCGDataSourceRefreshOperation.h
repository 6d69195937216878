#pragma once

#include "platform/SerialExecutor.h"

#include <QPointer>
#include <QUrl>
#include <memory>

class NVSCGDataSource;
class NVSCGDataSourceFeed;
class NVSCGDataSourceFeedReception;
namespace platform {
class Error;
}
namespace platform::http {
struct Response;
}

/// One refresh of a data source, run on its serial queue: a file is read and parsed right there;
/// a remote feed is requested and the operation ends, an XML feed being parsed as it arrives
/// (HTTP transfer thread) and any other on the HTTP worker thread. Status changes and content
/// hand-overs go to the main thread in order.
///
/// The queue's owner joins the queue before it goes away, so the operation may use the data
/// source on the queue; everything later reaches it through a guarded pointer on the main thread.
class NVSCGDataSourceRefreshOperation {
  public:
    explicit NVSCGDataSourceRefreshOperation(NVSCGDataSource* dataSource);
    void run(const platform::SerialExecutor::CancellationFlag& cancelled);

    /// Parses a response and hands its content to the data source (HTTP worker thread). An XML
    /// feed was parsed on its way by `reception`.
    static void handleResponse(const QPointer<NVSCGDataSource>& dataSource, platform::http::Response response,
                               NVSCGDataSourceFeedReception& reception);

  private:
    void refreshFile(const QString& path, const platform::SerialExecutor::CancellationFlag& cancelled);
    void startRemote(const QUrl& url);
    static void finish(const QPointer<NVSCGDataSource>& dataSource, bool delivered);
    static void deliverXmlFeed(const QPointer<NVSCGDataSource>& dataSource,
                               std::shared_ptr<NVSCGDataSourceFeed> feed, const platform::Error& error);

    NVSCGDataSource* m_dataSource;
    QPointer<NVSCGDataSource> m_guard;
};

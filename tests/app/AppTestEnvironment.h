#pragma once

#include "app/GraflinkDocument.h"
#include "appbase/NVSLogController.h"
#include "platform/HttpClient.h"
#include "platform/Json.h"
#include "platform/UserDefaults.h"
#include "testkit/LoopbackHttpServer.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

/// What a document test needs: private user defaults with the registered server settings, a
/// technical log in a temporary folder, an HTTP client and a loopback feed server.
class AppTestEnvironment : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    GraflinkDocument::Environment environment() const;
    std::unique_ptr<GraflinkDocument> makeDocument() const {
        return std::make_unique<GraflinkDocument>(environment());
    }
    /// The lines of today's technical log, after every queued line was written.
    QStringList logLines() const;
    bool logContains(const QString& text) const { return logLines().contains(text); }
    /// Runs the event loop until the document has no refresh in flight.
    bool waitForRefreshes(GraflinkDocument& document) const;
    /// Points the document at the loopback server's `path` and waits for the refresh that starts.
    bool pointAt(GraflinkDocument& document, const QString& path) const {
        document.setSourceURLString(server->url(path).toString());
        return waitForRefreshes(document);
    }
    /// Refreshes the document and waits until the refresh has ended.
    void refreshAndWait(GraflinkDocument& document) const {
        document.refresh();
        ASSERT_TRUE(waitForRefreshes(document));
    }
    /// The value of the document's variable at `index`, as the last refresh left it.
    static std::optional<platform::JsonValue> valueOf(const GraflinkDocument& document, int index = 0);
    static platform::JsonValue text(const char* value) { return platform::JsonValue(std::string(value)); }

    QTemporaryDir temp;
    std::unique_ptr<platform::UserDefaults> defaults;
    std::unique_ptr<NVSLogController> logger;
    std::shared_ptr<platform::http::Client> http;
    std::unique_ptr<testing_support::LoopbackHttpServer> server;
};

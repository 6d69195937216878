#pragma once

#include "app/AppTestEnvironment.h"
#include "app/ui/GraflinkDocumentWindowController.h"

#include <QTest>
#include <memory>

/// A document and its window: a fixture makes `document`, then shows its window; the window
/// closes before the document, both before the environment's own tear-down.
class DocumentWindowEnvironment : public AppTestEnvironment {
  protected:
    void showWindow() {
        window = std::make_unique<GraflinkDocumentWindowController>(*document);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override {
        window.reset();
        document.reset();
        AppTestEnvironment::TearDown();
    }

    std::unique_ptr<GraflinkDocument> document;
    std::unique_ptr<GraflinkDocumentWindowController> window;
};

#include "app/VariablesModel.h"
#include "app/ui/DocumentWindowEnvironment.h"
#include "cgsim/CGServerSimulator.h"
#include "testkit/TestHelpers.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

using namespace std::chrono_literals;

/// A document on air with one field bound to the simulator's scoreboard, and its window shown.
class WindowAgainstSimulator : public DocumentWindowEnvironment {
  protected:
    void SetUp() override {
        DocumentWindowEnvironment::SetUp();
        ASSERT_TRUE(simulator.start());
        server->serve("/feed.xml", testing_support::LoopbackHttpServer::Reply::text(
                                       "<m><home>Harbour City</home></m>", "application/xml"));
        document = std::make_unique<GraflinkDocument>(environment());
        document->loadVariablesFromDictionaries({{{u"XPath"_s, u"m/home"_s},
                                                  {u"CGProjectName"_s, u"Scoreboard"_s},
                                                  {u"CGProjectFieldName"_s, u"Home"_s},
                                                  {u"valueType"_s, 0}}});
        document->setSourceURLString(server->url(u"/feed.xml"_s).toString());
        document->setCGServerIPAddress(simulator.host());
        document->setCGServerPortNumber(simulator.port());
        document->applyCGServerSettings();
        ASSERT_TRUE(testing_support::waitUntil([&] { return document->isConnectedToCG(); }));
        document->setPublishToCG(true); // refreshes and publishes at once
        ASSERT_TRUE(testing_support::waitUntil(
            [&] { return !document->isRefreshing() && !simulator.acceptedUpdates().isEmpty(); }));
        simulator.clearAcceptedUpdates();
        showWindow();
    }

    CGServerSimulator simulator{{}};
};

// The window must never wait for the CG server: while the simulator takes its time over every
// answer, the event loop keeps turning and the window keeps painting.
TEST_F(WindowAgainstSimulator, UpdatePublishesWhileTheWindowStaysResponsive) {
    constexpr auto delay = 1500ms;
    simulator.setResponseDelay(delay);
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &ticker,
                     [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    sinceTick.start();
    ticker.start(10);
    QTest::mouseClick(window->findChild<QPushButton*>(u"updateButton"_s), Qt::LeftButton);
    ASSERT_TRUE(testing_support::waitUntil([&] { return !simulator.acceptedUpdates().isEmpty(); }, 20s));
    ticker.stop();

    EXPECT_EQ(simulator.acceptedUpdates().first().jsonLine(),
              QByteArray(R"({"project":"Scoreboard","item":"Home","text":"Harbour City"})"));
    EXPECT_EQ(window->variablesModel()->data(window->variablesModel()->index(0, VariablesModel::ValueColumn)),
              u"Harbour City"_s);
    // A blocked loop would have stood still for the whole delay of at least one answer.
    EXPECT_LT(longestGap, std::chrono::milliseconds(delay).count() * 2 / 3);
}

// Clear promises blank fields on air: the next refresh must not put the values back.
TEST_F(WindowAgainstSimulator, ClearTakesTheDocumentOffAirSoThatFieldsStayBlank) {
    QTest::mouseClick(window->findChild<QPushButton*>(u"clearCGButton"_s), Qt::LeftButton);
    QMessageBox* question = nullptr;
    ASSERT_TRUE(testing_support::waitUntil([&] { return (question = window->findChild<QMessageBox*>()); }));
    for (QAbstractButton* button : question->buttons())
        if (button->text() == u"Clear Fields"_s)
            QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(testing_support::waitUntil([&] { return !simulator.acceptedUpdates().isEmpty(); }));
    EXPECT_FALSE(document->publishToCG());
    document->refresh();
    ASSERT_TRUE(testing_support::waitUntil([&] { return !document->isRefreshing(); }));
    testing_support::spinFor(300ms);
    EXPECT_EQ(simulator.acceptedUpdates().size(), 1) << "the clearing only (its text is Publishing's test)";
}

} // namespace

#include "app/FeedProbe.h"

#include "app/AppTestEnvironment.h"
#include "app/GraflinkVariable.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

using Outcome = FeedProbeResult::Outcome;

struct ProbeCase {
    const char* path;
    int valueType;
    const char* format;
    Outcome outcome;
    QString value;
    int matches;
};

class FeedProbeTest : public AppTestEnvironment {
  protected:
    std::unique_ptr<FeedProbe> probeOf(const QByteArray& feed, const QByteArray& type) {
        server->serve("/feed", testing_support::LoopbackHttpServer::Reply::text(feed, type));
        document = makeDocument();
        document->setSourceURLString(server->url(u"/feed"_s).toString());
        auto probe = std::make_unique<FeedProbe>(*document, http);
        QSignalSpy fetched(probe.get(), &FeedProbe::fetched);
        probe->fetch();
        EXPECT_TRUE(fetched.wait(10000));
        EXPECT_EQ(fetched.first().first().toString(), QString());
        return probe;
    }

    void check(const FeedProbe& probe, const ProbeCase& c) {
        const FeedProbeResult result =
            probe.evaluate(QString::fromUtf8(c.path), c.valueType, QString::fromUtf8(c.format));
        EXPECT_EQ(result.outcome, c.outcome) << c.path;
        EXPECT_EQ(result.value, c.value) << c.path;
        EXPECT_EQ(result.matchCount, c.matches) << c.path;
    }

    // The document (and the refresh it started) goes before the client and the logger it uses.
    void TearDown() override {
        document.reset();
        AppTestEnvironment::TearDown();
    }

    std::unique_ptr<GraflinkDocument> document;
};

// The workbench must show what a variable would get: the same evaluation and formatting.
TEST_F(FeedProbeTest, XmlPathsGiveWhatAVariableWouldGet) {
    const auto probe = probeOf("<r><race><n>Mayor</n><v>1200.4</v></race><race><n>Council</n></race></r>",
                               "application/xml");
    for (const ProbeCase& c :
         {ProbeCase{"r/race/n", 0, "", Outcome::Value, u"Mayor"_s, 2},
          ProbeCase{"/r/race[2]/n", 0, "", Outcome::Value, u"Council"_s, 1},
          ProbeCase{"r/race/v", GraflinkVariable::Number, "#,##0 votes", Outcome::Value, u"1,200 votes"_s, 1},
          ProbeCase{"r/none", 0, "", Outcome::NoMatch, QString(), 0},
          ProbeCase{"r/race[", 0, "", Outcome::Invalid, QString(), 0}})
        check(*probe, c);
}

// Key paths give the one value they lead to; queries their first node and how many they select.
TEST_F(FeedProbeTest, JsonKeyPathsAndQueriesGiveWhatAVariableWouldGet) {
    const auto probe = probeOf(R"({"races":[{"n":"Mayor","v":7.5,"called":true},{"n":"Council","v":120}]})",
                               "application/json");
    for (const ProbeCase& c :
         {ProbeCase{"races/0/n", 0, "", Outcome::Value, u"Mayor"_s, 1},
          ProbeCase{"races/0/called", 0, "", Outcome::Value, u"true"_s, 1},
          ProbeCase{"races/0", 0, "", Outcome::Value, uR"({"n":"Mayor","v":7.5,"called":true})"_s, 1},
          ProbeCase{"races/3/n", 0, "", Outcome::NoMatch, QString(), 0},
          ProbeCase{"$.races[*].n", 0, "", Outcome::Value, u"Mayor"_s, 2},
          ProbeCase{"$..v", GraflinkVariable::Number, "#,##0.0", Outcome::Value, u"7.5"_s, 2},
          ProbeCase{"$.races[?@.v > 100].n", 0, "", Outcome::Value, u"Council"_s, 1},
          ProbeCase{"$.races[?@.v > 1000]", 0, "", Outcome::NoMatch, QString(), 0},
          ProbeCase{"$.races[?@.v >]", 0, "", Outcome::Invalid, QString(), 0}})
        check(*probe, c);
    EXPECT_TRUE(probe->evaluate(u"$.races[?@.v >]"_s).error.endsWith(u"at character 14"_s));
}

} // namespace

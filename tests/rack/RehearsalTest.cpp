#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "platform/Error.h"
#include "platform/HttpClient.h"
#include "rack/FeedRecorder.h"
#include "rack/FeedReplay.h"
#include "testkit/CliProcess.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/TestHelpers.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using testing_support::LoopbackHttpServer;
using testing_support::waitUntil;

namespace {

QByteArray scores(int home) {
    return "<m><home>" + QByteArray::number(home) + "</home></m>";
}

} // namespace

// A feed that changes three times gives three snapshots however often it is fetched; replayed at
// speed 10 they follow one another in order, a tenth of the recorded gaps apart, and a document
// pointed at the replay gets each snapshot's values.
TEST(Rehearsal, RecordsEachChangeOnceAndReplaysThemInOrder) {
    QTemporaryDir dir;
    LoopbackHttpServer feed;
    platform::Error error;
    std::optional<FeedRecording> recording = FeedRecording::open(dir.filePath(u"rec"_s), &error);
    ASSERT_TRUE(recording);
    auto http = std::make_shared<platform::http::Client>();
    {
        FeedRecorder recorder(feed.url(u"/feed"_s), *recording, http);
        int stored = 0;
        QObject::connect(&recorder, &FeedRecorder::snapshotStored, [&] { ++stored; });
        for (int home = 1; home <= 3; ++home) {
            feed.serve("/feed", LoopbackHttpServer::Reply::text(scores(home), "application/xml"));
            if (home == 1)
                recorder.start(std::chrono::milliseconds(20));
            ASSERT_TRUE(waitUntil([&] { return stored == home && feed.requestCount() >= 3 * home; }));
        }
        recorder.stop();
        ASSERT_TRUE(waitUntil([&] { return !recorder.isFetching(); }));
    }
    ASSERT_EQ(recording->snapshots().size(), 3);

    // What is on disk reads back the same.
    const std::optional<FeedRecording> reread = FeedRecording::open(recording->folder(), &error);
    ASSERT_TRUE(reread);
    ASSERT_EQ(reread->snapshots().size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(reread->body(reread->snapshots()[i]), scores(i + 1));
        EXPECT_EQ(reread->snapshots()[i].contentType, QByteArray("application/xml"));
        EXPECT_EQ(reread->snapshots()[i].status, 200);
    }

    // On the clock at speed 10: in order, each a tenth of its recorded gap after the one before.
    {
        FeedReplay replay(*reread, FeedReplay::Options{10.0, false, false, std::nullopt});
        std::vector<int> shown;
        std::vector<qint64> intervals;
        QObject::connect(&replay, &FeedReplay::snapshotShown, [&](int index) {
            shown.push_back(index);
            intervals.push_back(replay.nextIn().count());
        });
        replay.begin();
        ASSERT_TRUE(waitUntil([&] { return shown.size() == 3; }));
        EXPECT_EQ(shown, (std::vector<int>{0, 1, 2}));
        const auto& snapshots = reread->snapshots();
        for (int i = 0; i < 2; ++i)
            EXPECT_NEAR(double(intervals[std::size_t(i)]),
                        snapshots[i].fetchedAt.msecsTo(snapshots[i + 1].fetchedAt) / 10.0, 1.0);
    }

    // Step by step: a document pointed at the replay gets each snapshot's values.
    FeedReplay replay(*reread, FeedReplay::Options{1.0, false, true, std::nullopt});
    QString reason;
    const quint16 port = replay.listen(QHostAddress::LocalHost, 0, &reason);
    ASSERT_NE(port, 0) << reason.toStdString();
    replay.begin();
    GraflinkDocument document;
    document.loadVariablesFromDictionaries({{{u"XPath"_s, u"m/home"_s}, {u"valueType"_s, 0}}});
    for (int home = 1; home <= 3; ++home) {
        const quint64 before = document.processedRefreshCount();
        if (home == 1)
            document.setSourceURLString(u"http://127.0.0.1:%1/any/path.xml"_s.arg(port));
        else
            document.refresh();
        ASSERT_TRUE(
            waitUntil([&] { return document.processedRefreshCount() > before && !document.isRefreshing(); }));
        EXPECT_EQ(document.variables().variables().first()->currentStringValue(),
                  platform::JsonValue(std::to_string(home)));
        replay.step();
    }
}

// Fault guarded: one index line with a field of the wrong type aborted replay (uncaught JSON type
// error). The index is data: every broken, mistyped or foreign line is skipped with its line
// number on the console, and the replay serves the sound ones.
TEST(Rehearsal, ReplayOfADoctoredIndexSkipsBadLinesAndKeepsServing) {
    QTemporaryDir dir;
    platform::Error error;
    std::optional<FeedRecording> recording = FeedRecording::open(dir.path(), &error);
    ASSERT_TRUE(recording);
    ASSERT_TRUE(
        recording->append(scores(7), "application/xml", 200, QDateTime::currentDateTimeUtc(), &error));
    ASSERT_TRUE(QFile(dir.filePath(u"outside.txt"_s)).open(QIODevice::WriteOnly));
    QByteArray good = FeedRecordingIndex::line(recording->snapshots().first());
    const auto with = [&](const char* from, const char* to) { return QByteArray(good).replace(from, to); };
    const QByteArray doctored[] = {
        with("\"snapshot\":1", "\"snapshot\":\"1\""),
        with("\"status\":200", "\"status\":\"200\""),
        with("\"status\":200", "\"status\":99999"),
        with("\"bytes\":", "\"bytes\":4.5,\"b\":"),
        with("\"fetchedAt\":", "\"fetchedAt\":12,\"x\":"),
        with("\"file\":\"snapshot-000001.xml\"", "\"file\":[\"snapshot-000001.xml\"]"),
        with("\"file\":\"snapshot-000001.xml\"", "\"file\":\"../outside.txt\""),
        with("\"file\":\"snapshot-000001.xml\"", "\"file\":\"snapshot-000009.xml\""), // file missing
        with("application/xml", "text/xml\\r\\nX-Injected: 1"),
        with(",\"sha256\"", ",\"other\""),
        "[1,2,3]\n",
        "null\n",
    };
    QFile index(dir.filePath(FeedRecording::IndexFileName));
    ASSERT_TRUE(index.open(QIODevice::Append));
    for (const QByteArray& line : doctored)
        index.write(line);
    index.write(good.left(40)); // cut short
    index.close();

    testing_support::RunningCli replay({u"replay"_s, dir.path(), u"--step"_s});
    ASSERT_TRUE(replay.waitFor([&] { return replay.out.contains(u"snapshot 1 of 1"_s); }))
        << replay.out.toStdString();
    const QRegularExpressionMatch address = QRegularExpression(u"serving (http://\\S+)"_s).match(replay.out);
    ASSERT_TRUE(address.hasMatch());
    GraflinkDocument document;
    document.loadVariablesFromDictionaries({{{u"XPath"_s, u"m/home"_s}, {u"valueType"_s, 0}}});
    document.setSourceURLString(address.captured(1));
    ASSERT_TRUE(waitUntil([&] { return document.processedRefreshCount() > 0 && !document.isRefreshing(); }));
    EXPECT_EQ(document.variables().variables().first()->currentStringValue(), platform::JsonValue("7"));

    EXPECT_EQ(replay.terminate(), 0);
    const QString& console = replay.err;
    for (int line = 2; line <= 2 + int(std::size(doctored)); ++line)
        EXPECT_TRUE(console.contains(u"line %1 skipped"_s.arg(line))) << line << console.toStdString();
    EXPECT_FALSE(console.contains(u"line 1 skipped"_s));
}

// Fault guarded: recording on after a power cut appended the next line to the cut-short one, so
// that snapshot could never be read. It now starts on a line of its own, and the snapshot file
// that was written without its index line stays as it was.
TEST(Rehearsal, RecordingGoesOnAfterALineCutShort) {
    QTemporaryDir dir;
    LoopbackHttpServer feed;
    feed.serve("/feed", LoopbackHttpServer::Reply::text(scores(2), "application/xml"));
    platform::Error error;
    {
        std::optional<FeedRecording> recording = FeedRecording::open(dir.path(), &error);
        ASSERT_TRUE(recording);
        ASSERT_TRUE(
            recording->append(scores(1), "application/xml", 200, QDateTime::currentDateTimeUtc(), &error));
    }
    QFile index(dir.filePath(FeedRecording::IndexFileName));
    ASSERT_TRUE(index.open(QIODevice::Append));
    index.write(R"({"snapshot":2,"file":"snapsh)");
    index.close();
    testing_support::writeFile(dir.filePath(u"snapshot-000002.xml"_s), "written before the cut");

    const testing_support::CliRun recorded =
        testing_support::runCliProcess({u"record"_s, feed.url(u"/feed"_s).toString(), dir.path(),
                                        u"--every"_s, u"0.2"_s, u"--duration"_s, u"1"_s});
    ASSERT_EQ(recorded.status, 0) << recorded.err.toStdString();

    const std::optional<FeedRecording> reread = FeedRecording::open(dir.path(), &error);
    ASSERT_TRUE(reread);
    ASSERT_EQ(reread->snapshots().size(), 2);
    EXPECT_EQ(reread->body(reread->snapshots()[0]), scores(1));
    EXPECT_EQ(reread->body(reread->snapshots()[1]), scores(2));
    EXPECT_EQ(reread->snapshots()[1].number, 3);
    EXPECT_EQ(testing_support::readFile(dir.filePath(u"snapshot-000002.xml"_s)),
              QByteArray("written before the cut"));
}

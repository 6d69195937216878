#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "peers/LoopbackHttpServer.h"
#include "platform/Error.h"
#include "platform/HttpClient.h"
#include "rack/FeedRecorder.h"
#include "rack/FeedReplay.h"
#include "support/TestHelpers.h"

#include <QDir>
#include <QFile>
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
    std::optional<FeedRecording> recording = FeedRecording::open(dir.filePath(QStringLiteral("rec")), &error);
    ASSERT_TRUE(recording);
    auto http = std::make_shared<platform::http::Client>();
    {
        FeedRecorder recorder(feed.url(QStringLiteral("/feed")), *recording, http);
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
    document.loadVariablesFromDictionaries(
        {{{QStringLiteral("XPath"), QStringLiteral("m/home")}, {QStringLiteral("valueType"), 0}}});
    for (int home = 1; home <= 3; ++home) {
        const quint64 before = document.processedRefreshCount();
        if (home == 1)
            document.setSourceURLString(QStringLiteral("http://127.0.0.1:%1/any/path.xml").arg(port));
        else
            document.refresh();
        ASSERT_TRUE(
            waitUntil([&] { return document.processedRefreshCount() > before && !document.isRefreshing(); }));
        EXPECT_EQ(document.variables().variables().first()->currentStringValue(),
                  platform::JsonValue(std::to_string(home)));
        replay.step();
    }
}

// The index is data: a line cut short by a stop, an entry whose file is gone and one that names a
// file outside the folder are all skipped.
TEST(Rehearsal, ReadingSkipsBrokenAndForeignIndexEntries) {
    QTemporaryDir dir;
    platform::Error error;
    std::optional<FeedRecording> recording = FeedRecording::open(dir.path(), &error);
    ASSERT_TRUE(recording);
    ASSERT_TRUE(recording->append("<a/>", "application/xml", 200, QDateTime::currentDateTimeUtc(), &error));
    ASSERT_TRUE(QFile(dir.filePath(QStringLiteral("outside.txt"))).open(QIODevice::WriteOnly));
    QFile index(dir.filePath(FeedRecording::IndexFileName));
    ASSERT_TRUE(index.open(QIODevice::Append));
    index.write(R"({"snapshot":2,"file":"../outside.txt","fetchedAt":"2026-11-03T22:10:00Z"})"
                "\n");
    index.write(R"({"snapshot":3,"file":"snapshot-000003.xml","fetchedAt":"2026-11-03T22:10:00Z"})"
                "\n");
    index.write(R"({"snapshot":4,"file":"snaps)");
    index.close();
    const std::optional<FeedRecording> reread = FeedRecording::open(dir.path(), &error);
    ASSERT_TRUE(reread);
    ASSERT_EQ(reread->snapshots().size(), 1);
    EXPECT_EQ(reread->body(reread->snapshots().first()), QByteArray("<a/>"));
    EXPECT_FALSE(reread->differsFromLast("<a/>", "application/xml", 200));
    EXPECT_TRUE(reread->differsFromLast("<a/>", "application/xml", 500));
}

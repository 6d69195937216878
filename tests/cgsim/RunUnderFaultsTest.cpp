// The real graflink-cli binary against peers that misbehave: a CG server that falls silent, a
// filter callback that never returns, a feed that expands to gigabytes.
#include "cgsim/CGServerSimulator.h"
#include "testkit/CliProcess.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/TestHelpers.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

namespace {

using namespace std::chrono_literals;
using testing_support::LoopbackHttpServer;
using testing_support::waitUntil;
using Reply = LoopbackHttpServer::Reply;

// `size` zero bytes as one gzip member, compressed as far as zlib goes (about 1000:1).
QByteArray gzipOfZeros(qint64 size) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    const QByteArray zeros(1 << 20, '\0');
    QByteArray out;
    char buffer[1 << 16];
    for (qint64 left = size; left > 0 || stream.avail_in > 0;) {
        if (stream.avail_in == 0) {
            const qint64 chunk = std::min<qint64>(left, zeros.size());
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.constData()));
            stream.avail_in = uInt(chunk);
            left -= chunk;
        }
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, flush);
            out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

class RunUnderFaults : public ::testing::Test {
  protected:
    void SetUp() override { feed.serve("/feed.xml", Reply::text("<m><home>Lions</home></m>", "text/xml")); }

    /// Writes a document with `graflink-cli new`; returns its path.
    QString newDocument(const QString& name, QStringList options) {
        const QString path = home.filePath(name + u".graflink"_s);
        const testing_support::CliRun made =
            testing_support::runCliProcess(QStringList{u"new"_s, path} + options);
        EXPECT_EQ(made.status, 0) << made.err.toStdString();
        return path;
    }
    static QStringList boundTo(quint16 port) {
        return testing_support::words(u"--server 127.0.0.1:%1 --publish --auto-refresh 1 --var"_s.arg(port))
               << uR"({"XPath":"m/home","CGProjectName":"Scoreboard",)"
                  uR"("CGProjectFieldName":"Home","valueType":0})"_s;
    }
    QString feedURL() const { return feed.url(u"/feed.xml"_s).toString(); }

    QTemporaryDir home;
    LoopbackHttpServer feed;
};

// One CG server that stopped answering once held every other document's refreshes for its
// requests' time-outs, and a filter callback that never returned froze them all.
TEST_F(RunUnderFaults, HealthyDocumentsKeepTheirPeriodAndTheProgramStopsPromptly) {
    CGServerSimulator simulator(CGServerSimulator::Options{});
    ASSERT_TRUE(simulator.start());
    LoopbackHttpServer silent; // lists its projects, then never answers an update
    silent.serve("/projects",
                 Reply::text(R"([{"displayName":"Scoreboard","uniqueID":"PRJ-S"}])", "application/json"));
    silent.serve(
        "/projects/PRJ-S/items",
        Reply::text(R"([{"displayName":"Home","uniqueID":"ITM-H","type":"text"}])", "application/json"));
    silent.serve("/projects/PRJ-S/items/ITM-H", Reply::hang());
    testing_support::writeFile(home.filePath(u"loop.js"_s),
                               "httpGet('" + feedURL().toUtf8() +
                                   "', function (error, body) { while (true) {} });");

    const QStringList source{u"--source"_s, feedURL()};
    const QString healthy = newDocument(u"healthy"_s, source + boundTo(simulator.port()));
    const QString stuck = newDocument(u"stuck"_s, source + boundTo(silent.port()));
    const QString looping =
        newDocument(u"looping"_s, source + QStringList{u"--auto-refresh"_s, u"1"_s, u"--filter"_s,
                                                       home.filePath(u"loop.js"_s)});
    testing_support::RunningCli run(
        {u"--default"_s, u"javascriptFilterTimeLimit=0.3"_s, u"run"_s, healthy, stuck, looping});
    // About eight are due in eight seconds; a main thread held by the silent server manages two.
    EXPECT_TRUE(waitUntil([&] { return simulator.acceptedUpdates().size() >= 5; }, 8s))
        << simulator.acceptedUpdates().size() << " updates";
    EXPECT_GE(silent.requestCount(), 4) << "the silent server's document was refreshed too";
    EXPECT_EQ(run.terminate(3s), 0) << "a prompt, clean stop with an update hanging: "
                                    << run.err.toStdString();
}

TEST_F(RunUnderFaults, AFeedThatExpandsBeyondTheLimitFailsWithinBoundedMemory) {
    // 768 MiB once decompressed; the limit for this run is 8 MiB.
    feed.serve(
        "/bomb.xml",
        Reply::text(gzipOfZeros(qint64(768) << 20), "text/xml").withHeader("Content-Encoding", "gzip"));
    const QString document = newDocument(u"bomb"_s, {u"--source"_s, feed.url(u"/bomb.xml"_s).toString()});
    const testing_support::CliRun refresh = testing_support::runCliProcess(
        testing_support::words(u"--verbose --default maximumFeedSize=8388608 refresh"_s)
            << document << u"--no-publish"_s,
        QProcessEnvironment::systemEnvironment(), 60000);
    EXPECT_EQ(refresh.status, 1);
    EXPECT_TRUE(refresh.err.contains(u"larger than the limit of 8388608 bytes"_s));
    // The children this test process has waited for are that refresh and the one that made the
    // document, which reads no feed.
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    // Far below the expanded body, with room for a sanitizer build's own overhead.
    EXPECT_LT(usage.ru_maxrss, 256 * 1024) << "peak resident size in KiB";
}

} // namespace

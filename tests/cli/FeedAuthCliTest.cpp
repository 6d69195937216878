#include "testkit/CliRun.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/MemorySecretStore.h"
#include "testkit/TestHelpers.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QByteArray Secret = "pw-from-the-environment";

class FeedAuthCli : public ::testing::Test {
  protected:
    void SetUp() override {
        qputenv("GRAFLINK_TEST_FEED_SECRET", Secret);
        server.serve("/feed", LoopbackHttpServer::Reply::text("<r><a>1</a></r>", "text/xml"));
    }
    void TearDown() override { qunsetenv("GRAFLINK_TEST_FEED_SECRET"); }
    QStringList newDocument(const QStringList& options) const {
        return QStringList{u"new"_s, document, u"--source"_s, server.url(u"/feed"_s).toString()} + options;
    }

    QTemporaryDir dir;
    QString document = dir.filePath(u"auth.graflink"_s);
    LoopbackHttpServer server;
    const SharedMemorySecretStore keychain;
    const std::shared_ptr<MemorySecretStore>& store = keychain.store;
};

TEST_F(FeedAuthCli, NewStoresTheSecretInTheKeychainAndThePathsFetchSendsIt) {
    const CliRun made = runCli(newDocument(
        words(u"--feed-auth basic --feed-user reader --feed-secret-env GRAFLINK_TEST_FEED_SECRET"_s)));
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    EXPECT_EQ(made.out.trimmed(), QFileInfo(document).absoluteFilePath()) << "the output is the path alone";
    const QByteArray file = readFile(document);
    EXPECT_TRUE(file.contains("<string>basic</string>"));
    EXPECT_FALSE(file.contains(Secret));
    EXPECT_EQ(store->secrets(), QList<QString>{QString::fromUtf8(Secret)});

    const CliRun paths = runCli({u"paths"_s, document});
    ASSERT_EQ(paths.status, 0) << paths.err.toStdString();
    EXPECT_FALSE(QString(paths.out + paths.err).contains(QString::fromUtf8(Secret)));
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests().first().header("Authorization"),
              "Basic " + QByteArray("reader:" + Secret).toBase64());
}

TEST_F(FeedAuthCli, RefusesUnusableSettingsBeforeWritingAnything) {
    // Each is a usage error.
    const QStringList cases[] = {
        words(u"--feed-auth kerberos"_s),
        words(u"--feed-auth basic"_s),
        words(u"--feed-auth bearer --feed-secret-env GRAFLINK_TEST_UNSET"_s),
        words(u"--feed-auth headers --feed-header"_s) << u"Bad Name"_s,
        words(u"--feed-auth headers --feed-secret-env GRAFLINK_TEST_FEED_SECRET --feed-header X-Key"_s),
        words(u"--feed-user reader"_s),
    };
    for (const QStringList& options : cases) {
        SCOPED_TRACE(options.join(u' ').toStdString());
        const CliRun run = runCli(newDocument(options));
        EXPECT_EQ(run.status, 2);
        EXPECT_FALSE(run.err.contains(QString::fromUtf8(Secret)));
        EXPECT_FALSE(QFile::exists(document));
    }
    // A keychain that cannot be reached: no file whose secret would be missing.
    store->available = false;
    const CliRun unavailable =
        runCli(newDocument(words(u"--feed-auth bearer --feed-secret-env GRAFLINK_TEST_FEED_SECRET"_s)));
    EXPECT_EQ(unavailable.status, 1);
    EXPECT_TRUE(unavailable.err.contains(u"keychain is not available"_s)) << unavailable.err.toStdString();
    EXPECT_FALSE(QFile::exists(document));
}

} // namespace

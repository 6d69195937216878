#include "BackblazePeer.h"
#include "platform/HttpClient.h"
#include "support/NVSBackblazeAPI.h"
#include "support/NVSBackblazeUploadTask.h"
#include "testkit/StderrCapture.h"
#include "testkit/TestHelpers.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using platform::Error;
using testing_support::waitUntil;

namespace {

const QString KeyID = u"0042key"_s;
const QString ApplicationKey = u"K004-very-secret-application-key"_s;
const QString BucketID = u"bucket-7"_s;
constexpr qint64 PartSize = 1000;

struct Outcome {
    bool called = false;
    bool success = false;
    std::optional<Error> error;
};

class BackblazeUploadTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(peer.server().isListening()); }

    // Bytes that differ from part to part.
    QByteArray archiveBytes(qint64 size) const {
        QByteArray bytes(size, Qt::Uninitialized);
        for (qint64 i = 0; i < size; ++i)
            bytes[i] = char((i * 31 + i / PartSize) % 251);
        return bytes;
    }

    QString writeArchive(const QString& name, qint64 size) {
        const QString path = folder.filePath(name);
        EXPECT_TRUE(testing_support::writeFile(path, archiveBytes(size)));
        return path;
    }

    std::unique_ptr<NVSBackblazeUploadTask> makeTask(NVSBackblazeConfiguration configuration) {
        auto task = std::make_unique<NVSBackblazeUploadTask>(u"Upload"_s, std::move(configuration), client);
        task->setAbsoluteMinimumPartSize(100);
        return task;
    }
    std::unique_ptr<NVSBackblazeUploadTask> makeTask() {
        return makeTask(NVSBackblazeConfiguration(KeyID, ApplicationKey, BucketID, peer.authorizationURL()));
    }

    /// Starts uploading `path`; the completion lands in `outcome`.
    void start(NVSBackblazeUploadTask& task, const QString& path) {
        outcome = {};
        task.uploadZippedFileAtPath(path, QFileInfo(path).size(),
                                    [this](bool success, std::optional<Error> error) {
                                        EXPECT_FALSE(outcome.called) << "completion called twice";
                                        outcome = {true, success, std::move(error)};
                                    });
    }
    /// Uploads `path`; returns whether the completion came in time.
    bool upload(NVSBackblazeUploadTask& task, const QString& path, std::chrono::seconds timeout = 5s) {
        start(task, path);
        return waitUntil([&] { return outcome.called; }, timeout);
    }

    BackblazePeer peer{KeyID, ApplicationKey, BucketID, PartSize};
    std::shared_ptr<platform::http::Client> client = std::make_shared<platform::http::Client>();
    QTemporaryDir folder;
    Outcome outcome;
};

} // namespace

TEST_F(BackblazeUploadTest, SmallArchiveGoesInOneRequestUnderItsEncodedName) {
    const QString path = writeArchive(u"Support, Graflink 1.0.zip"_s, 600);
    auto task = makeTask();
    ASSERT_TRUE(upload(*task, path));

    EXPECT_TRUE(outcome.success);
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(task->taskStatus(), NVSBaseTask::Done);
    EXPECT_EQ(task->taskStatusString(), NVSBackblazeUploadTask::DoneStatus);
    EXPECT_FALSE(task->taskRequiresProgress());
    EXPECT_FALSE(task->isLargeUpload());
    ASSERT_EQ(peer.record().fileUploads.size(), 1);
    EXPECT_EQ(peer.record().fileUploads.front().fileName, "Support%2C%20Graflink%201.0.zip");
    EXPECT_EQ(peer.record().fileUploads.front().body, archiveBytes(600));
    EXPECT_EQ(peer.record().problems, QStringList());
}

// Parts answered out of order must still be listed in part order when the file is finished.
TEST_F(BackblazeUploadTest, LargeArchiveIsFinishedWithItsPartDigestsInPartOrder) {
    const QString path = writeArchive(u"support.zip"_s, 3500);
    peer.delayPart(1, 400ms);
    peer.delayPart(2, 200ms);
    auto task = makeTask();
    ASSERT_TRUE(upload(*task, path, 15s));

    EXPECT_TRUE(outcome.success) << (outcome.error ? outcome.error->localizedDescription().toStdString()
                                                   : "");
    EXPECT_EQ(task->taskStatusString(), NVSBackblazeUploadTask::DoneStatus);
    EXPECT_TRUE(task->isLargeUpload());
    EXPECT_EQ(task->totalParts(), 4);
    EXPECT_EQ(task->uploadedParts(), 4);
    EXPECT_EQ(task->finishedTasksUploadedBytes(), 3500);
    const QByteArray bytes = archiveBytes(3500);
    const auto digest = &BackblazePeer::sha1;
    const QStringList expected = {digest(bytes.sliced(0, 1000)), digest(bytes.sliced(1000, 1000)),
                                  digest(bytes.sliced(2000, 1000)), digest(bytes.sliced(3000, 500))};
    EXPECT_EQ(peer.record().finishCalls, QList<QStringList>{expected});
    EXPECT_EQ(peer.record().problems, QStringList());
}

// A part gets three retries: the fourth failure fails the upload, the other parts still go up,
// and nothing secret reaches the console meanwhile.
TEST_F(BackblazeUploadTest, PartsAreRetriedThreeTimesThenFailTheUpload) {
    const QString path = writeArchive(u"support.zip"_s, 3000);
    peer.failPart(1, 3);
    peer.failPart(2, 4);
    testing_support::StderrCapture console;
    auto task = makeTask();
    ASSERT_TRUE(upload(*task, path, 30s));

    EXPECT_FALSE(outcome.success);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain, NVSBackblazeAPI::ErrorDomain);
    EXPECT_EQ(outcome.error->code, 503);
    EXPECT_EQ(task->taskStatus(), NVSBaseTask::Failed);
    EXPECT_EQ(task->taskStatusString(), NVSBackblazeUploadTask::PartsFailedStatus);
    EXPECT_EQ(task->uploadedParts(), 2);
    EXPECT_EQ(task->failedPartsCount(), 1);
    const QList<int> attempts = peer.record().partAttempts;
    EXPECT_EQ(attempts.count(1), 4);
    EXPECT_EQ(attempts.count(2), 4);
    EXPECT_EQ(attempts.count(3), 1);
    EXPECT_EQ(peer.record().storedParts.keys(), (QList<int>{1, 3}));
    EXPECT_TRUE(peer.record().finishCalls.isEmpty());

    const QString text = console.text();
    EXPECT_EQ(text.count(u"BackBlazeUploadTask: Error: Retrying"_s), 6) << "one line per retry";
    for (const QString& secret : {ApplicationKey, BackblazePeer::AccountToken, u"part-token-"_s})
        EXPECT_FALSE(text.contains(secret)) << secret.toStdString();
}

TEST_F(BackblazeUploadTest, CancellingStopsASingleUploadWaitingForItsAnswer) {
    const QString path = writeArchive(u"support.zip"_s, 600);
    peer.delayFileUpload(60s);
    auto task = makeTask();
    start(*task, path);
    ASSERT_TRUE(waitUntil([&] { return peer.record().fileUploads.size() == 1; }));
    task->setShouldCancel(true);
    ASSERT_TRUE(waitUntil([&] { return outcome.called; }));

    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(task->taskStatus(), NVSBaseTask::Failed);
    EXPECT_EQ(task->taskStatusString(), NVSBackblazeUploadTask::CancelledStatus);
}

// Both ways stop the parts: shouldCancel (the support window, the command line) leaves the
// unfinished file as it is; cancelling every task also asks the service to drop it.
TEST_F(BackblazeUploadTest, CancellingALargeUploadSendsNoFurtherParts) {
    for (const bool all : {false, true}) {
        BackblazePeer service{KeyID, ApplicationKey, BucketID, PartSize};
        service.hangParts();
        auto task =
            makeTask(NVSBackblazeConfiguration(KeyID, ApplicationKey, BucketID, service.authorizationURL()));
        task->setMaximumConcurrentParts(2);
        Outcome cancelOutcome;
        start(*task, writeArchive(u"support.zip"_s, 5000));
        ASSERT_TRUE(waitUntil([&] { return service.record().partAttempts.size() == 2; }));
        if (all)
            task->cancelAllUploadTasks([&](bool success, std::optional<Error> error) {
                cancelOutcome = {true, success, std::move(error)};
            });
        else
            task->setShouldCancel(true);
        ASSERT_TRUE(waitUntil([&] { return outcome.called && (!all || cancelOutcome.called); })) << all;

        EXPECT_FALSE(outcome.success);
        EXPECT_EQ(task->taskStatusString(), NVSBackblazeUploadTask::CancelledStatus);
        EXPECT_EQ(cancelOutcome.success, all);
        EXPECT_EQ(service.record().cancelCalls,
                  all ? QStringList{BackblazePeer::LargeFileID} : QStringList());
        // Every part has ended: nothing is left to send later.
        EXPECT_EQ(task->uploadedParts() + task->failedPartsCount(), 5);
        EXPECT_EQ(service.record().partAttempts.size(), 2);
        EXPECT_EQ(service.requestCount("/b2api/v2/b2_get_upload_part_url"), 2);
    }
}

TEST_F(BackblazeUploadTest, UploadFailsAtOnceWithoutUsableCredentials) {
    struct Case {
        const char* name;
        NVSBackblazeConfiguration configuration;
        int errorCode;
        QStringList mentioned; // what the error must name
        int requests;
    };
    const QUrl address = peer.authorizationURL();
    const QString ofKey = QLatin1String(NVSBackblazeConfiguration::KeyIDVariable);
    const QString ofApplicationKey = QLatin1String(NVSBackblazeConfiguration::ApplicationKeyVariable);
    const QString ofBucket = QLatin1String(NVSBackblazeConfiguration::BucketIDVariable);
    const Case cases[] = {
        {"nothing", {}, NVSBackblazeAPI::NotConfigured, {ofKey, ofApplicationKey, ofBucket}, 0},
        {"no key id",
         {QString(), ApplicationKey, BucketID, address},
         NVSBackblazeAPI::NotConfigured,
         {ofKey, NVSBackblazeConfiguration::KeyIDDefaultsKey},
         0},
        {"no application key",
         {KeyID, QString(), BucketID, address},
         NVSBackblazeAPI::NotConfigured,
         {ofApplicationKey, NVSBackblazeConfiguration::ApplicationKeyDefaultsKey},
         0},
        {"no bucket",
         {KeyID, ApplicationKey, QString(), address},
         NVSBackblazeAPI::NotConfigured,
         {ofBucket, NVSBackblazeConfiguration::BucketIDDefaultsKey},
         0},
        {"plain http elsewhere",
         {KeyID, ApplicationKey, BucketID, QUrl(u"http://b2.example.test"_s)},
         NVSBackblazeAPI::InsecureAddress,
         {QLatin1String(NVSBackblazeConfiguration::AuthorizationURLVariable)},
         0},
        {"wrong application key", {KeyID, u"wrong"_s, BucketID, address}, 401, {}, 1},
    };
    const QString path = writeArchive(u"support.zip"_s, 600);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        peer.server().clearRequests();
        testing_support::StderrCapture console;
        auto task = makeTask(c.configuration);
        ASSERT_TRUE(upload(*task, path));

        EXPECT_FALSE(outcome.success);
        EXPECT_EQ(task->taskStatus(), NVSBaseTask::Failed);
        EXPECT_EQ(task->taskStatusString(), NVSBackblazeUploadTask::ErrorStatus);
        EXPECT_FALSE(task->taskRequiresProgress());
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->code, c.errorCode);
        const QString description = task->errorDescription();
        for (const QString& setting : c.mentioned)
            EXPECT_TRUE(description.contains(setting)) << description.toStdString();
        EXPECT_FALSE(description.contains(ApplicationKey));
        EXPECT_FALSE(console.text().contains(ApplicationKey));
        EXPECT_EQ(peer.server().requestCount(), c.requests);
        EXPECT_TRUE(peer.record().fileUploads.isEmpty());
    }
}

#include "BackblazePeer.h"
#include "support/NVSBackblazeConfiguration.h"
#include "support/Profiler.h"
#include "support/ui/ContactSupportWindowController.h"
#include "testkit/CliRun.h"
#include "testkit/TestHelpers.h"
#include "testkit/WidgetChecks.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QString KeyID = u"0051f2c3d4e5f60000000001"_s;
const QString ApplicationKey = u"K005abcdefghijklmnopqrstuvwxyz0"_s;
const QString BucketID = u"e73ab1c2d3e4f5a6b7c8d9e0"_s;
using State = ContactSupportWindowController::State;
using Settings = NVSBackblazeConfiguration;

/// Points the support upload at the loopback service for one test.
class UploadEnvironment {
  public:
    UploadEnvironment(const BackblazePeer& peer, const QString& applicationKey) {
        qputenv(Settings::KeyIDVariable, KeyID.toUtf8());
        qputenv(Settings::ApplicationKeyVariable, applicationKey.toUtf8());
        qputenv(Settings::BucketIDVariable, BucketID.toUtf8());
        qputenv(Settings::AuthorizationURLVariable, peer.authorizationURL().toString().toUtf8());
    }
    ~UploadEnvironment() {
        for (const char* variable : {Settings::KeyIDVariable, Settings::ApplicationKeyVariable,
                                     Settings::BucketIDVariable, Settings::AuthorizationURLVariable})
            qunsetenv(variable);
    }
};

class ContactSupport : public ::testing::Test {
  protected:
    SupportSources sources() const {
        SupportSources s; // nothing to gather but what the test adds
        s.userLogsFolder = dir.filePath(u"logs"_s);
        s.journalProgram = u"/bin/true"_s;
        writeFile(s.userLogsFolder + u"/Graflink.log"_s, "technical log");
        return s;
    }
    /// Fills the form in: a description, an address and consent.
    static void fillIn(ContactSupportWindowController& window) {
        window.findChild<QPlainTextEdit*>(u"problemDescriptionField"_s)->setPlainText(u"Ticker stopped"_s);
        window.findChild<QLineEdit*>(u"emailField"_s)->setText(u"op@station.example"_s);
        window.findChild<QCheckBox*>(u"agreeCheckBox"_s)->setChecked(true);
    }
    static QString status(const ContactSupportWindowController& window) {
        return window.findChild<QLabel*>(u"statusLabel"_s)->text();
    }
    /// Whether the window reached `state` in time (gathering, compressing and sending included).
    static bool reaches(const ContactSupportWindowController& window, State state) {
        return waitUntil([&] { return window.state() == state; }, std::chrono::seconds(20));
    }

    QTemporaryDir dir;
    BackblazePeer peer{KeyID, ApplicationKey, BucketID, 100 * 1000 * 1000};
};

// Said before the form is filled, in words a user understands; the request is then kept as an
// archive, and the user's own text stays as written.
TEST_F(ContactSupport, WithoutSendingSetUpTheRequestIsSavedAsAnArchive) {
    ContactSupportWindowController window(sources(), dir.filePath(u"archives"_s));
    window.show();
    EXPECT_TRUE(status(window).contains(QLatin1String("not set up"))) << status(window).toStdString();
    EXPECT_FALSE(status(window).contains(QLatin1String("_KEY"))) << "no environment variables";
    auto* send = window.findChild<QPushButton*>(u"sendButton"_s);
    EXPECT_EQ(send->text(), u"Sa&ve Archive"_s);

    fillIn(window);
    window.send();
    ASSERT_TRUE(reaches(window, State::Saved)) << status(window).toStdString();
    EXPECT_TRUE(QFile::exists(window.archivePath()));
    EXPECT_TRUE(status(window).contains(window.archivePath()));
    EXPECT_EQ(window.findChild<QPlainTextEdit*>(u"problemDescriptionField"_s)->toPlainText(),
              u"Ticker stopped"_s);
    EXPECT_FALSE(send->isDefault());
    EXPECT_TRUE(peer.record().fileUploads.isEmpty());
}

TEST_F(ContactSupport, TheWindowSendsTheArchiveAndKeepsItWhenSendingFails) {
    ContactSupportWindowController window(sources(), dir.filePath(u"archives"_s));
    window.show();
    EXPECT_EQ(unnamedControls(window), QStringList());

    // The form is checked first: nothing is gathered without a description, an address and consent.
    QSignalSpy gathered(&window.profiler(), &Profiler::gathered);
    window.send();
    EXPECT_EQ(window.state(), State::Editing);
    fillIn(window);
    auto* agree = window.findChild<QCheckBox*>(u"agreeCheckBox"_s);
    agree->setChecked(false);
    window.send();
    EXPECT_TRUE(status(window).contains(QLatin1String("agree")));
    EXPECT_EQ(gathered.count(), 0);
    agree->setChecked(true);

    {
        UploadEnvironment upload(peer, u"K005wrong-key-wrong-key-wrong-k"_s);
        window.send();
        ASSERT_TRUE(reaches(window, State::Failed));
    }
    const QString failure = status(window);
    EXPECT_TRUE(failure.contains(window.archivePath())) << failure.toStdString();
    EXPECT_FALSE(failure.contains(QLatin1String("K005wrong")));
    EXPECT_TRUE(QFile::exists(window.archivePath()));
    EXPECT_TRUE(window.findChild<QWidget*>(u"showArchiveButton"_s)->isVisible());

    UploadEnvironment upload(peer, ApplicationKey);
    window.send(); // the same archive again
    ASSERT_TRUE(reaches(window, State::Sent));
    ASSERT_EQ(peer.record().fileUploads.size(), 1);
    EXPECT_EQ(peer.record().fileUploads.first().body, readFile(window.archivePath()));
    EXPECT_EQ(gathered.count(), 1);
    EXPECT_TRUE(peer.record().problems.isEmpty())
        << peer.record().problems.join(QLatin1Char('\n')).toStdString();
}

// Fault guarded: Cancel while gathering only stopped the journal, which then counted as finished,
// so compressing and uploading went on. Cancelled at any step, nothing is uploaded, nothing is
// left behind, the window says so, and the next Send starts from the beginning.
TEST_F(ContactSupport, CancelStopsEveryStepAndLeavesNothingBehind) {
    const struct {
        State step;
        const char* status; // cancel once the status line says this
    } cases[] = {{State::Gathering, "Copying"},
                 {State::Gathering, "journal"},
                 {State::Compressing, ""},
                 {State::Uploading, ""}};
    UploadEnvironment upload(peer, ApplicationKey);
    const QString slowJournal = dir.filePath(u"slow"_s);
    SupportSources s = sources();
    s.journalProgram = dir.filePath(u"journal"_s);
    writeFile(s.journalProgram,
              "#!/bin/sh\n[ -e '" + slowJournal.toUtf8() + "' ] && exec sleep 30\necho line\n");
    QFile::setPermissions(s.journalProgram, QFile::ReadOwner | QFile::ExeOwner);
    int run = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(run);
        const QString archives = dir.filePath(u"archives%1"_s.arg(run++));
        if (QLatin1String(c.status) == QLatin1String("journal"))
            writeFile(slowJournal, ""); // still reading when cancelled
        ContactSupportWindowController window(s, archives);
        fillIn(window);
        const qsizetype uploadsBefore = peer.record().fileUploads.size();
        const QMetaObject::Connection trigger = QObject::connect(
            &window, &ContactSupportWindowController::stateChanged, &window, [&](State state) {
                if (state == c.step && status(window).contains(QLatin1String(c.status)))
                    QMetaObject::invokeMethod(&window, &ContactSupportWindowController::cancel,
                                              Qt::QueuedConnection);
            });
        window.send();
        ASSERT_TRUE(reaches(window, State::Cancelled));
        QObject::disconnect(trigger);
        EXPECT_EQ(status(window), u"Cancelled"_s);
        spinFor(std::chrono::milliseconds(200)); // nothing more happens
        EXPECT_EQ(window.state(), State::Cancelled);
        EXPECT_EQ(peer.record().fileUploads.size(), uploadsBefore);
        EXPECT_EQ(QDir(archives).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList());

        QFile::remove(slowJournal);
        window.send();
        ASSERT_TRUE(reaches(window, State::Sent));
        EXPECT_EQ(peer.record().fileUploads.size(), uploadsBefore + 1);
    }
}

// Fault guarded: collecting into a folder in use changed every file's mode there and archived the
// operator's own files. Such a folder (left untouched: see the profiler's tests), or an archive
// name that is taken, is refused with its name.
TEST_F(ContactSupport, CollectRefusesAFolderInUseOrATakenArchiveName) {
    const QString work = dir.filePath(u"Work"_s);
    writeFile(work + u"/run-show.sh"_s, "#!/bin/sh\n");
    const QString empty = dir.filePath(u"Empty"_s);
    QDir().mkpath(empty);
    writeFile(empty + u".zip"_s, "an older archive");
    for (const QString& folder : {work, empty}) {
        const CliRun collected = runCli({u"support"_s, u"collect"_s, folder});
        EXPECT_EQ(collected.status, 1) << folder.toStdString();
        EXPECT_TRUE(collected.err.contains(folder)) << collected.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(work + u".zip"_s));
    EXPECT_EQ(QDir(empty).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    EXPECT_EQ(readFile(empty + u".zip"_s), QByteArray("an older archive"));
}

TEST_F(ContactSupport, TheCommandLineUploadsAnArchiveAndSaysWhatToConfigure) {
    const QString archive = dir.filePath(u"Support, night shift.zip"_s);
    writeFile(archive, QByteArray(4096, 'z'));
    const CliRun unconfigured = runCli({u"support"_s, u"upload"_s, archive});
    EXPECT_EQ(unconfigured.status, 1);
    EXPECT_TRUE(unconfigured.err.contains(QLatin1String(Settings::ApplicationKeyVariable)))
        << unconfigured.err.toStdString();

    UploadEnvironment upload(peer, ApplicationKey);
    const CliRun sent = runCli({u"support"_s, u"upload"_s, archive});
    EXPECT_EQ(sent.status, 0) << sent.err.toStdString();
    EXPECT_EQ(sent.out.trimmed(), u"Support, night shift.zip"_s);
    EXPECT_TRUE(sent.err.contains(QLatin1String("100 %")));
    ASSERT_EQ(peer.record().fileUploads.size(), 1);
    EXPECT_EQ(peer.record().fileUploads.first().fileName, QByteArray("Support%2C%20night%20shift.zip"));
}

} // namespace

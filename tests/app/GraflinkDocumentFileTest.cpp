#include "app/AppTestEnvironment.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "platform/PropertyList.h"
#include "testkit/TestHelpers.h"

#include <QFile>
#include <sys/stat.h>

namespace {

using testing_support::readFile;
using testing_support::writeFile;

class GraflinkDocumentFile : public AppTestEnvironment {
  protected:
    std::unique_ptr<GraflinkDocument> open(const QString& file, platform::Error* error = nullptr) {
        auto document = makeDocument();
        if (!document->readFromPath(file, GraflinkDocument::DocumentTypeName, error))
            return nullptr;
        return document;
    }
};

TEST_F(GraflinkDocumentFile, ANewDocumentTakesItsServerSettingsFromTheDefaultsAndTimesItsRefreshes) {
    defaults->setValue(u"CGServerPortNumber"_s, 2002);
    const auto document = makeDocument();
    EXPECT_EQ(document->CGServerPortNumber(), 2002u);
    EXPECT_FALSE(document->isRefreshTimerRunning());
    // Later changes of the defaults do not reach an existing document.
    defaults->setValue(u"CGServerIPAddress"_s, u"10.0.0.9"_s);
    EXPECT_EQ(document->CGServerIPAddress(), u"127.0.0.1"_s);

    // The refresh timer follows auto-refresh and period changes.
    document->setRefreshFrequency(30);
    EXPECT_FALSE(document->isRefreshTimerRunning());
    document->setAutoRefresh(true);
    EXPECT_TRUE(document->isRefreshTimerRunning());
    document->setRefreshFrequency(0); // must not spin: raised to the minimum period
    EXPECT_TRUE(document->isRefreshTimerRunning());
    document->setAutoRefresh(false);
    EXPECT_FALSE(document->isRefreshTimerRunning());
}

TEST_F(GraflinkDocumentFile, LeavesOutUnsetAddressAndFilterAndReadsThemBackAsDefaults) {
    const QString file = temp.filePath(u"bare.graflink"_s);
    {
        auto document = makeDocument();
        document->setSourceURLString(std::nullopt);
        document->updateChangeCount(platform::Document::ChangeKind::Done);
        ASSERT_TRUE(document->saveToPath(file, GraflinkDocument::DocumentTypeName));
        EXPECT_FALSE(document->isDocumentEdited()) << "saving clears the change count";
    }
    // The other keys left out when unused: see DocumentFeedAuth.AFileWithoutTheKeysIsSavedAsBefore.
    const QVariantMap stored = platform::PropertyList::read(readFile(file))->toMap();
    EXPECT_FALSE(stored.contains(u"sourceURLString"_s));
    EXPECT_EQ(stored.value(u"CGServerType"_s).toLongLong(), 1);
    EXPECT_EQ(stored.value(u"refreshFrequency"_s).typeId(), QMetaType::Double);
    const auto reopened = open(file);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->sourceURLString(), GraflinkDocument::DefaultSourceURLString);
    EXPECT_FALSE(reopened->javascriptFilterPath());
}

TEST_F(GraflinkDocumentFile, OpensHandWrittenPropertyListsReadingValuesLeniently) {
    const QString xml = temp.filePath(u"hand.graflink"_s);
    ASSERT_TRUE(writeFile(xml, R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
  <key>CGServerIPAddress</key><string>192.168.0.20</string>
  <key>CGServerPortNumber</key><real>2003.9</real>
  <key>autoRefresh</key><string>YES</string>
  <key>sourceURLString</key><integer>5</integer>
  <key>variables</key><array><dict><key>XPath</key><string>q</string></dict><string>not a variable</string></array>
</dict></plist>)"));
    const auto document = open(xml);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->CGServerIPAddress(), u"192.168.0.20"_s);
    EXPECT_EQ(document->CGServerPortNumber(), 2003u) << "read through its integer reading";
    EXPECT_TRUE(document->autoRefresh()) << "read through its boolean reading";
    EXPECT_TRUE(document->isRefreshTimerRunning());
    EXPECT_EQ(document->sourceURLString(), GraflinkDocument::DefaultSourceURLString)
        << "a number is no address";
    EXPECT_EQ(document->variables().count(), 1);
    EXPECT_EQ(document->CGServerType(), 1) << "a missing key keeps its default";
}

// What is no property list at all is the reader's to refuse (see its tests); its error comes through.
TEST_F(GraflinkDocumentFile, RefusesFilesThatAreNoPropertyListDictionary) {
    for (const QByteArray& bytes :
         {QByteArray("just some text"),
          QByteArray(
              R"(<?xml version="1.0"?><plist version="1.0"><array><string>a</string></array></plist>)")}) {
        ASSERT_TRUE(writeFile(temp.filePath(u"refused.graflink"_s), bytes));
        platform::Error error;
        EXPECT_FALSE(open(temp.filePath(u"refused.graflink"_s), &error)) << bytes.constData();
        EXPECT_FALSE(error.domain.isEmpty()) << bytes.constData();
    }
    platform::Error error;
    EXPECT_FALSE(open(temp.filePath(u"missing.graflink"_s), &error));
    EXPECT_EQ(error.domain, platform::Error::FileDomain);
}

TEST_F(GraflinkDocumentFile, OpeningAPublishingDocumentFetchesAtOnce) {
    server->serve("/feed.xml",
                  testing_support::LoopbackHttpServer::Reply::text("<r><v>1</v></r>", "text/xml"));
    const QString file = temp.filePath(u"publishing.graflink"_s);
    {
        QVariantMap stored{{u"publishToCG"_s, true},
                           {u"sourceURLString"_s, server->url(u"/feed.xml"_s).toString()}};
        ASSERT_TRUE(writeFile(file, platform::PropertyList::writeXml(stored)));
    }
    const auto document = open(file);
    ASSERT_TRUE(document);
    ASSERT_TRUE(waitForRefreshes(*document));
    // "publishToCG" and "sourceURLString" each ask for a refresh; one fetch of the stored address
    // serves both (a fetch started before the address was read would go to the default feed).
    EXPECT_EQ(server->requestCount(), 1);
    EXPECT_EQ(document->lastRefreshDelivered(), true);
    EXPECT_FALSE(document->isRefreshTimerRunning());
}

// A file written by a newer version (keys this one does not know, at both levels) and the
// settings of on-air safety survive opening and saving.
TEST_F(GraflinkDocumentFile, KeepsUnknownKeysAndTheSafetySettings) {
    const QString file = temp.filePath(u"newer.graflink"_s);
    ASSERT_TRUE(writeFile(file, R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>futureSetting</key><dict><key>a</key><integer>1</integer></dict>
  <key>staleAfterSeconds</key><real>30</real>
  <key>changeOnlyPublishing</key><true/>
  <key>fullPublishSeconds</key><real>90</real>
  <key>variables</key><array><dict><key>XPath</key><string>q</string><key>futureKey</key><string>x</string>
    <key>fallbackMode</key><integer>2</integer><key>fallbackText</key><string>Soon</string></dict></array>
</dict></plist>)"));
    const auto document = open(file);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->staleAfterSeconds(), 30.0);
    EXPECT_TRUE(document->changeOnlyPublishing());
    EXPECT_EQ(document->fullPublishSeconds(), 90.0);
    const GraflinkVariable& variable = *document->variables().variables().first();
    EXPECT_EQ(variable.fallbackMode(), GraflinkVariable::SendFallbackText);
    EXPECT_EQ(variable.publishedValue(), platform::JsonValue("Soon"));
    ASSERT_TRUE(document->saveToPath(file, GraflinkDocument::DocumentTypeName));
    const QVariantMap saved = platform::PropertyList::read(readFile(file))->toMap();
    EXPECT_EQ(saved.value(u"futureSetting"_s).toMap().value(u"a"_s).toInt(), 1);
    EXPECT_EQ(saved.value(u"fullPublishSeconds"_s).toDouble(), 90.0);
    const QVariantMap savedVariable = saved.value(u"variables"_s).toList().first().toMap();
    EXPECT_EQ(savedVariable.value(u"futureKey"_s).toString(), u"x"_s);
    EXPECT_EQ(savedVariable.value(u"fallbackText"_s).toString(), u"Soon"_s);
}

} // namespace

// Fault guarded: documents keep the CG server password in clear and were created 0644. A new one
// holding a password is the owner's alone; a file that exists keeps its mode (shared on purpose),
// and saving a password into a file every account may read is logged once.
TEST_F(GraflinkDocumentFile, ADocumentHoldingAPasswordIsNotCreatedWorldReadable) {
    const mode_t umask = ::umask(022);
    const struct {
        const char* password;
        int existingMode; // -1: a new file
        QFile::Permissions expected;
        bool logged;
    } cases[] = {
        {"", -1, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther, false},
        {"s3cret", -1, QFile::ReadOwner | QFile::WriteOwner, false},
        {"s3cret", 0640, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup, false},
        {"s3cret", 0644, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther, true},
    };
    int run = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(run);
        const QString file = temp.filePath(u"show%1.graflink"_s.arg(run++));
        if (c.existingMode >= 0) {
            writeFile(file, "old");
            ::chmod(QFile::encodeName(file).constData(), mode_t(c.existingMode));
        }
        auto document = makeDocument();
        document->setCGServerPassword(QString::fromLatin1(c.password));
        ASSERT_TRUE(document->saveToPath(file, GraflinkDocument::DocumentTypeName));
        ASSERT_TRUE(document->saveToPath(file, GraflinkDocument::DocumentTypeName));
        EXPECT_EQ(QFile::permissions(file) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                  c.expected);
        EXPECT_EQ(logLines().filter(file).filter(u"may read it"_s).size(), c.logged ? 1 : 0);
        EXPECT_EQ(open(file)->CGServerPassword(), QString::fromLatin1(c.password));
    }
    ::umask(umask);
}

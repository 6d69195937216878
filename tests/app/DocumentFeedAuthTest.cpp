#include "app/AppTestEnvironment.h"
#include "app/GraflinkDocumentFeedAuth.h"
#include "feed/FeedCredentials.h"
#include "platform/PropertyList.h"
#include "testkit/MemorySecretStore.h"
#include "testkit/TestHelpers.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <condition_variable>
#include <mutex>

namespace {

using platform::FeedAuthentication;
using platform::FeedCredentials;
using Reply = testing_support::LoopbackHttpServer::Reply;
using Scheme = FeedAuthentication::Scheme;

/// A keychain whose lookups wait for an unlock prompt that nobody answers until unlock().
class LockedSecretStore : public testing_support::MemorySecretStore {
  public:
    Lookup find(const QString& service, const QString& account) override {
        {
            std::unique_lock lock(m_gate);
            ++m_waiting;
            m_opened.wait(lock, [this] { return m_unlocked; });
        }
        return MemorySecretStore::find(service, account);
    }
    int waiting() {
        std::lock_guard lock(m_gate);
        return m_waiting;
    }
    void unlock() {
        std::lock_guard lock(m_gate);
        m_unlocked = true;
        m_opened.notify_all();
    }

  private:
    std::mutex m_gate;
    std::condition_variable m_opened;
    int m_waiting = 0;
    bool m_unlocked = false;
};

class DocumentFeedAuth : public AppTestEnvironment {
  protected:
    std::unique_ptr<GraflinkDocument>
    makeDocument(Scheme scheme, std::shared_ptr<platform::SecretStore> secrets = {}) const {
        GraflinkDocument::Environment withStore = environment();
        withStore.secrets = secrets ? secrets : store;
        auto document = std::make_unique<GraflinkDocument>(withStore);
        FeedAuthentication settings;
        settings.scheme = scheme;
        settings.user = u"reader"_s;
        settings.headerNames = {u"X-Api-Key"_s};
        document->setFeedAuthentication(settings);
        return document;
    }
    /// The dictionary the document saves as `name` (empty when it cannot be read back).
    QVariantMap savedDictionary(GraflinkDocument& document, const QString& name) const {
        const QString file = temp.filePath(name);
        EXPECT_TRUE(document.saveToPath(file, GraflinkDocument::DocumentTypeName));
        return platform::PropertyList::read(testing_support::readFile(file)).value_or(QVariant()).toMap();
    }

    std::shared_ptr<testing_support::MemorySecretStore> store =
        std::make_shared<testing_support::MemorySecretStore>();
};

// A lookup that waits for the keychain to be unlocked holds up no other document's fetch, even
// with more of them waiting than the HTTP client has preparation workers.
TEST_F(DocumentFeedAuth, LookupsThatBlockHoldUpNoOtherDocument) {
    server->serve("/obs.xml", Reply::text("<r><a>1</a></r>", "text/xml"));
    const QString address = server->url(u"/obs.xml"_s).toString();
    auto ready = makeDocument(Scheme::Bearer);
    ASSERT_TRUE(FeedCredentials::storeSecret(*store, ready->feedAuthentication(), server->url(), u"tok"_s));
    ready->setSourceURLString(address);
    ASSERT_TRUE(waitForRefreshes(*ready));

    auto locked = std::make_shared<LockedSecretStore>();
    std::vector<std::unique_ptr<GraflinkDocument>> waiting;
    for (int i = 0; i < 6; ++i) {
        waiting.push_back(makeDocument(Scheme::Bearer, locked));
        waiting.back()->setSourceURLString(address);
    }
    ASSERT_TRUE(testing_support::waitUntil([&] { return locked->waiting() >= 4; }));
    const int before = server->requestCount();
    refreshAndWait(*ready);
    EXPECT_EQ(ready->lastRefreshDelivered(), true);
    EXPECT_EQ(server->requestCount(), before + 1);
    locked->unlock();
    for (const auto& document : waiting)
        EXPECT_TRUE(waitForRefreshes(*document));
}

TEST_F(DocumentFeedAuth, RefreshAndInventorySendTheStoredSecretAndLogNone) {
    server->serve("/obs.xml", Reply::text("<r><a>1</a></r>", "text/xml"));
    auto document = makeDocument(Scheme::Bearer);
    ASSERT_TRUE(
        FeedCredentials::storeSecret(*store, document->feedAuthentication(), server->url(), u"tok-secret"_s));
    ASSERT_TRUE(pointAt(*document, u"/obs.xml"_s));
    EXPECT_EQ(document->lastRefreshDelivered(), true);
    QSignalSpy inventoried(document.get(), &GraflinkDocument::pathsFinished);
    document->getPaths();
    ASSERT_TRUE(testing_support::waitUntil([&] { return inventoried.count() == 1; }));

    ASSERT_EQ(server->requestCount(), 2);
    for (const auto& request : server->requests())
        EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer tok-secret"));
    EXPECT_FALSE(logLines().join(u'\n').contains(u"tok-secret"_s));
}

TEST_F(DocumentFeedAuth, WithoutTheKeychainRefreshesBareAndLogsOneLine) {
    server->serve("/obs.xml", Reply::text("<r><a>1</a></r>", "text/xml"));
    store->available = false;
    auto document = makeDocument(Scheme::Basic);
    ASSERT_TRUE(pointAt(*document, u"/obs.xml"_s));
    refreshAndWait(*document);
    EXPECT_EQ(document->lastRefreshDelivered(), true);
    for (const auto& request : server->requests())
        EXPECT_FALSE(request.header("Authorization"));
    EXPECT_EQ(logLines().filter(u"the keychain is not available"_s).size(), 1)
        << logLines().join(u'|').toStdString();
}

TEST_F(DocumentFeedAuth, TheFileKeepsTheSettingsNeverTheSecret) {
    for (Scheme scheme : {Scheme::Basic, Scheme::Bearer, Scheme::Headers}) {
        SCOPED_TRACE(int(scheme));
        auto document = makeDocument(scheme);
        ASSERT_TRUE(FeedCredentials::storeSecret(*store, document->feedAuthentication(), server->url(),
                                                 u"never-in-the-file"_s));
        const QString name = u"auth%1.graflink"_s.arg(int(scheme));
        EXPECT_EQ(savedDictionary(*document, name).value(GraflinkDocumentFeedAuth::SchemeKey).toString(),
                  FeedAuthentication::schemeName(scheme));
        EXPECT_FALSE(testing_support::readFile(temp.filePath(name)).contains("never-in-the-file"));

        auto reopened = AppTestEnvironment::makeDocument();
        ASSERT_TRUE(reopened->readFromPath(temp.filePath(name), GraflinkDocument::DocumentTypeName, nullptr));
        EXPECT_EQ(reopened->feedAuthentication(), document->feedAuthentication());
    }
}

TEST_F(DocumentFeedAuth, AFileWithoutTheKeysIsSavedAsBefore) {
    // What a document without feed authentication has always written, and a scheme this version
    // does not know, which reads as none.
    const QVariantMap older{
        {GraflinkDocument::AutoRefreshKey, false},
        {GraflinkDocument::PublishToCGKey, false},
        {GraflinkDocument::RefreshFrequencyKey, 30.0},
        {GraflinkDocument::SourceURLStringKey, server->url(u"/none"_s).toString()},
        {GraflinkDocument::VariablesKey, QVariantList()},
        {GraflinkDocument::CGServerIPAddressKey, u"10.0.0.1"_s},
        {GraflinkDocument::CGServerPortNumberKey, 2001},
        {GraflinkDocument::CGServerPasswordKey, QString()},
        {GraflinkDocument::CGServerTypeKey, 1},
    };
    QVariantMap future = older;
    future.insert(GraflinkDocumentFeedAuth::SchemeKey, u"kerberos"_s);
    const QString file = temp.filePath(u"older.graflink"_s);
    std::optional<QVariant> expected;
    for (const QVariantMap& dictionary : {older, future}) {
        ASSERT_TRUE(testing_support::writeFile(file, platform::PropertyList::writeXml(dictionary, nullptr)));
        if (!expected)
            expected = platform::PropertyList::read(testing_support::readFile(file), nullptr);
        auto document = AppTestEnvironment::makeDocument();
        ASSERT_TRUE(document->readFromPath(file, GraflinkDocument::DocumentTypeName, nullptr));
        EXPECT_FALSE(document->feedAuthentication().isEnabled());
        EXPECT_EQ(QJsonDocument::fromVariant(savedDictionary(*document, u"resaved.graflink"_s)).toJson(),
                  QJsonDocument::fromVariant(expected->toMap()).toJson());
        ASSERT_TRUE(waitForRefreshes(*document));
    }
}

} // namespace

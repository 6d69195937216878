#include "DataSourceTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "platform/BundleInfo.h"
#include "platform/XmlDocument.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace datasource_test;

namespace {

QByteArray fileWith(const QByteArray& children) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<data_source>" + children + "</data_source>\n";
}

class DataSourceFile : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString path(const QString& name = u"doc.cgds"_s) const { return dir.filePath(name); }
};

} // namespace

TEST_F(DataSourceFile, WritesEveryElementInOrderAndOmitsUnsetURLAndXPath) {
    NVSCGDataSource dataSource;
    const QString text = QString::fromUtf8(*dataSource.dataOfType(NVSCGDataSourceDocumentType, nullptr));
    EXPECT_TRUE(
        text.startsWith(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<data_source>\n  <columns/>\n"_s))
        << text.toStdString();
    EXPECT_FALSE(text.contains(u"<url>"_s));
    EXPECT_FALSE(text.contains(u"<x_path>"_s));
    EXPECT_TRUE(text.contains(QStringLiteral(
        "<auto_update>false</auto_update>\n  "
        "<auto_update_frequency>10.000000</auto_update_frequency>\n  <export_path></export_path>")))
        << text.toStdString();

    dataSource.setDataSourceURL(QUrl(u"http://example.test/feed.xml?a=1&b=2"_s));
    dataSource.setXPath(u"/feed/race[*]"_s);
    auto column = std::make_shared<NVSCGDataSourceColumn>(u"Name"_s, u"/feed/race[*]/Name"_s);
    column->setType(7);
    dataSource.addColumn(column);
    const QString full = QString::fromUtf8(*dataSource.dataOfType(NVSCGDataSourceDocumentType, nullptr));
    const QStringList order =
        u"<url>http://example.test/feed.xml?a=1&amp;b=2</url>|<x_path>|<columns>|"
        "<title>Name</title>|<identifier>|<type>Unknown Type</type>|<uuid>|"
        "<format></format>|<auto_update>|<auto_update_frequency>|<export_path>"_s.split(u'|');
    qsizetype at = 0;
    for (const QString& part : order) {
        const qsizetype found = full.indexOf(part, at);
        ASSERT_GE(found, 0) << part.toStdString() << " after " << at << " in\n" << full.toStdString();
        at = found;
    }
}

TEST_F(DataSourceFile, ReadingRules) {
    struct Case {
        const char* children;
        bool autoUpdate;
        double frequency;
    };
    const Case cases[] = {
        {"<auto_update>YES</auto_update>", true, 10.0},
        {"<auto_update>True</auto_update>", true, 10.0},
        {"<auto_update>1</auto_update>", true, 10.0},
        {"<auto_update>0</auto_update>", false, 10.0},
        {"<auto_update>no</auto_update>", false, 10.0},
        {"<auto_update/>", false, 10.0},
        {"<auto_update_frequency>0</auto_update_frequency>", false, 0.1},
        {"<auto_update_frequency>-3</auto_update_frequency>", false, 0.1},
        {"<auto_update_frequency>soon</auto_update_frequency>", false, 0.1},
        {"<auto_update_frequency>  2.5 seconds</auto_update_frequency>", false, 2.5},
        {"<auto_update_frequency>1e999</auto_update_frequency>", false,
         NVSCGDataSource::MaximumAutoUpdateFrequency},
        {"<auto_update>false</auto_update><auto_update>true</auto_update>", false, 10.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.children);
        NVSCGDataSource dataSource;
        ASSERT_TRUE(dataSource.readFromData(fileWith(c.children), NVSCGDataSourceDocumentType));
        EXPECT_EQ(dataSource.autoUpdate(), c.autoUpdate);
        EXPECT_EQ(dataSource.autoUpdateTimer() != nullptr, c.autoUpdate);
        EXPECT_DOUBLE_EQ(dataSource.autoUpdateFrequency(), c.frequency);
        dataSource.close();
    }
}

TEST_F(DataSourceFile, EmptyRootKeepsDefaultsColumnsBecomeEmptyAndColumnElementsAreRead) {
    NVSCGDataSource dataSource;
    dataSource.addColumnWithTitle(u"A"_s, u"/a"_s);
    dataSource.setExportPath(u"/keep"_s);
    ASSERT_TRUE(
        dataSource.readFromData(fileWith("<unknown>x</unknown><export_path/>"), NVSCGDataSourceDocumentType));
    EXPECT_EQ(dataSource.countOfColumns(), 0u);
    EXPECT_TRUE(dataSource.dataSourceURL().isEmpty());
    EXPECT_TRUE(dataSource.XPath().isNull());
    EXPECT_EQ(dataSource.exportPath(), u""_s);

    // Column elements: a type read case-insensitively, an unknown one as text, a missing uuid made.
    StderrCapture log;
    ASSERT_TRUE(dataSource.readFromData(
        fileWith("<columns><column><title>T</title><type>image</type><uuid>U1</uuid></column>"
                 "<column><type>Picture</type></column><other/></columns>"),
        NVSCGDataSourceDocumentType));
    ASSERT_EQ(dataSource.countOfColumns(), 2u);
    EXPECT_EQ(dataSource.columnAtIndex(0)->title(), u"T"_s);
    EXPECT_EQ(dataSource.columnAtIndex(0)->type(), 1u);
    EXPECT_EQ(dataSource.columnAtIndex(0)->uniqueID(), u"U1"_s);
    EXPECT_EQ(dataSource.columnAtIndex(1)->type(), 0u);
    EXPECT_EQ(dataSource.columnAtIndex(1)->uniqueID().size(), 36);
    EXPECT_TRUE(log.text().contains(u"No Column type found for stringValue Picture"_s));
    dataSource.close();
}

TEST_F(DataSourceFile, ErrorsLeaveTheFileAndTheSettingsAsTheyWere) {
    NVSCGDataSource dataSource;
    platform::Error error;
    EXPECT_FALSE(dataSource.readFromData(fileWith(""), u"Other"_s, &error));
    EXPECT_EQ(error.domain, NVSOSStatusErrorDomain);
    EXPECT_EQ(error.code, -181);

    EXPECT_FALSE(dataSource.dataOfType(u"Other"_s, &error));
    EXPECT_EQ(error.code, -4);
    // A save that fails leaves the file as it was, and no temporary file beside it.
    NVSCGDataSource saved;
    saved.setXPath(u"/first"_s);
    ASSERT_TRUE(saved.saveToPath(path(), NVSCGDataSourceDocumentType));
    const QByteArray before = testing_support::readFile(path());
    EXPECT_FALSE(saved.saveToPath(path(), u"Other"_s));
    EXPECT_EQ(testing_support::readFile(path()), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{u"doc.cgds"_s});

    EXPECT_FALSE(dataSource.readFromData("<data_source><x_path>/a", NVSCGDataSourceDocumentType, &error));
    EXPECT_EQ(error.domain, platform::Error::XmlDomain);
    EXPECT_TRUE(dataSource.XPath().isNull());
    EXPECT_EQ(dataSource.status(), 0u);

    EXPECT_FALSE(
        dataSource.readFromData("<source><x_path>/a</x_path></source>", NVSCGDataSourceDocumentType, &error));
    EXPECT_EQ(error.domain, platform::BundleInfo::bundleIdentifier());
    EXPECT_EQ(error.code, -50);
    EXPECT_EQ(error.localizedDescription(), u"Missing element data_source"_s);
    EXPECT_TRUE(dataSource.XPath().isNull());

    EXPECT_FALSE(dataSource.readFromData(fileWith("<url>http://bad host/</url><x_path>/a[*]</x_path>"
                                                  "<auto_update>yes</auto_update>"),
                                         NVSCGDataSourceDocumentType, &error));
    EXPECT_EQ(error.code, -50);
    EXPECT_EQ(error.localizedDescription(), u"Failed to create URL from http://bad host/"_s);
    EXPECT_EQ(dataSource.XPath(), u"/a[*]"_s);
    EXPECT_TRUE(dataSource.autoUpdate());
    dataSource.close();
}

TEST_F(DataSourceFile, FeedAuthenticationIsWrittenOnlyWhenSetAndReadBack) {
    using platform::FeedAuthentication;
    for (FeedAuthentication::Scheme scheme :
         {FeedAuthentication::Scheme::None, FeedAuthentication::Scheme::Basic,
          FeedAuthentication::Scheme::Bearer, FeedAuthentication::Scheme::Headers}) {
        SCOPED_TRACE(int(scheme));
        NVSCGDataSource original;
        FeedAuthentication settings;
        settings.scheme = scheme;
        settings.user = u"reader"_s;
        settings.headerNames = {u"X-Api-Key"_s, u"X-Client"_s};
        original.setFeedAuthentication(settings);
        const QByteArray bytes = *original.dataOfType(NVSCGDataSourceDocumentType, nullptr);
        EXPECT_EQ(bytes.contains("<feed_authentication>"), scheme != FeedAuthentication::Scheme::None);

        NVSCGDataSource copy;
        ASSERT_TRUE(copy.readFromData(bytes, NVSCGDataSourceDocumentType));
        EXPECT_EQ(copy.feedAuthentication(), original.feedAuthentication());
        copy.close();
    }
    // A scheme this version does not know reads as none.
    NVSCGDataSource future;
    ASSERT_TRUE(future.readFromData(
        fileWith("<feed_authentication><scheme>kerberos</scheme><account>A</account></feed_authentication>"),
        NVSCGDataSourceDocumentType));
    EXPECT_FALSE(future.feedAuthentication().isEnabled());
    future.close();
}

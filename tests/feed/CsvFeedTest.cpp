#include "feed/CsvFeed.h"

#include "platform/XmlDocument.h"

#include <QRegularExpression>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

/// The document's XML without the declaration and line breaks, for comparison.
QString xmlOf(const QByteArray& bytes, char16_t separator = u',') {
    platform::Error error;
    const std::unique_ptr<platform::XmlDocument> document = CsvFeed::toXml(bytes, separator, &error);
    if (!document)
        return QStringLiteral("error: ") + error.localizedDescription();
    QString text = QString::fromUtf8(document->toPrettyBytes());
    text.remove(0, text.indexOf(u'\n') + 1);
    return text.replace(QRegularExpression(QStringLiteral(">\\n *<")), QStringLiteral("><")).trimmed();
}

} // namespace

TEST(CsvFeed, BecomesRowsOfElementsNamedAfterTheHeaders) {
    const struct {
        const char* name;
        QByteArray csv;
        char16_t separator;
        const char* xml; // UTF-8
    } cases[] = {
        {"odd and duplicate headers keep the original in an attribute",
         "Votes Cast,1st,xmlId,,Name,Name\na,b,c,d,e,f\n", u',',
         "<rows><row><Votes_Cast header=\"Votes Cast\">a</Votes_Cast><_1st header=\"1st\">b</_1st>"
         "<_xmlId header=\"xmlId\">c</_xmlId><column4>d</column4><Name>e</Name>"
         "<Name_2 header=\"Name\">f</Name_2></row></rows>"},
        {"empty cells stay, a missing last cell is left out, extra cells get a column name",
         "A,B,C\n,x\n1,2,3,4\n", u',',
         "<rows><row><A/><B>x</B></row><row><A>1</A><B>2</B><C>3</C><column4>4</column4></row></rows>"},
        {"a byte order mark is not part of the first header", "\xEF\xBB\xBFName\nSmith\n", u',',
         "<rows><row><Name>Smith</Name></row></rows>"},
        {"text that is not UTF-8 is Latin-1", "Name\nM\xFCller\n", u',',
         "<rows><row><Name>Müller</Name></row></rows>"},
        {"tab-separated, with empty fields", "A\tB\tC\n1\t\t3\n", u'\t',
         "<rows><row><A>1</A><B/><C>3</C></row></rows>"},
        {"no header row", "\n\n", u',', "error: the feed has no header row"},
        {"a feed of separators alone must not become a tree many times its size",
         "A\n" + QByteArray(CsvFeed::MaximumCells, ',') + "x\n", u',',
         "error: the feed has more than 2,000,000 cells"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(xmlOf(c.csv, c.separator).toStdString(), c.xml);
    }
}

TEST(CsvFeed, TakesItsSeparatorFromTheContentTypeOrTheAddress) {
    const QUrl csv(QStringLiteral("https://example.org/sheet.CSV?x=1"));
    const QUrl other(QStringLiteral("https://example.org/pub?output=csv"));
    EXPECT_EQ(CsvFeed::separatorFor("text/csv; charset=utf-8", other), u',');
    EXPECT_EQ(CsvFeed::separatorFor("text/tab-separated-values", other), u'\t');
    EXPECT_EQ(CsvFeed::separatorFor("application/octet-stream", csv), u',');
    EXPECT_EQ(CsvFeed::separatorFor("application/xml", csv), std::nullopt);
    EXPECT_EQ(CsvFeed::separatorFor("text/plain", other), std::nullopt);
    EXPECT_EQ(CsvFeed::separatorForFile(QStringLiteral("/tmp/results.tsv")), u'\t');
}

#include "platform/XmlPushParser.h"

#include "platform/XmlDocument.h"

#include <gtest/gtest.h>

using platform::Error;
using platform::XmlDocument;
using platform::XmlPushParser;

// A document pushed in pieces of any size parses to the same tree as the whole body, and one
// that does not parse is refused with the same first message (what the log tells the operator),
// small or large.
TEST(XmlPushParserTest, PiecesGiveTheVerdictAndTheWordsOfTheWholeBody) {
    QByteArray large("<feed>");
    for (int i = 0; i < 10000; ++i)
        large += "\n  <race><votes>" + QByteArray::number(i) + "</votes></race>";
    const QByteArray documents[] = {
        large + "\n</feed>",
        large + "\n  <race><votes>12",
        large + "\n  <race></votes></race></feed>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<feed>\n  <item id=\"1\">caf\xc3\xa9</item>\n</feed>\n",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><feed><t>caf\xe9</t></feed>",
        "<feed xmlns=\"urn:x\"><![CDATA[a<b]]><!-- c --><e/></feed>",
        "<feed>",
        "<feed>\n  <race>\n    <votes>12",
        "<feed><ite",
        "<feed></item>",
        "<feed/><more/>",
        "",
        "not xml",
        "<!DOCTYPE feed [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><feed>&e;</feed>",
    };
    for (const QByteArray& text : documents) {
        Error wholeError;
        const std::unique_ptr<XmlDocument> whole = XmlDocument::parse(text, &wholeError);
        for (const qsizetype pieceSize : {qsizetype(7), qsizetype(4096)}) {
            XmlPushParser parser;
            for (qsizetype at = 0; at < text.size(); at += pieceSize)
                parser.push(QByteArrayView(text).sliced(at, std::min(pieceSize, text.size() - at)));
            Error error;
            const std::unique_ptr<XmlDocument> pushed = parser.finish(&error);
            const std::string context =
                text.right(60).toStdString() + " in pieces of " + std::to_string(pieceSize);
            ASSERT_EQ(bool(pushed), bool(whole)) << context << "\n"
                                                 << error.localizedDescription().toStdString();
            if (whole)
                EXPECT_EQ(pushed->toPrettyBytes(), whole->toPrettyBytes()) << context;
            else
                EXPECT_EQ(error.localizedDescription(), wholeError.localizedDescription()) << context;
        }
    }
}

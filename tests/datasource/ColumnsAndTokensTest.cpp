#include "DataSourceTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceNodeNotifier.h"
#include "datasource/TokenValueTransformer.h"
#include "platform/XmlDocument.h"

#include <gtest/gtest.h>

using namespace datasource_test;

namespace {

QString token(const NVSCGDataSourceColumnPtr& column) {
    return QString(u"<#"_s + column->uniqueID() + u"!>"_s);
}

class Columns : public ::testing::Test {
  protected:
    void SetUp() override {
        dataSource.setXPath(u"/feed/race[*]"_s);
        dataSource.processXMLDocument(platform::XmlDocument::parse(electionFeed(3)));
        drainMainQueue();
        name = std::make_shared<NVSCGDataSourceColumn>(u"Name"_s, u"/feed/race[*]/Name"_s);
        state = std::make_shared<NVSCGDataSourceColumn>(u"State"_s, u"/feed/race[*]/State"_s);
        dataSource.setColumns({name, state});
    }

    QString cell(std::size_t row, const NVSCGDataSourceColumnPtr& column) {
        return dataSource.contentNodeAtIndex(row)->stringValueForColum(*column);
    }

    NVSCGDataSource dataSource;
    NVSCGDataSourceColumnPtr name;
    NVSCGDataSourceColumnPtr state;
};

} // namespace

TEST(Tokenizer, SplitsLiteralsAndTokens) {
    NVSCGDataSource dataSource;
    auto a = std::make_shared<NVSCGDataSourceColumn>(u"A"_s, u"/a"_s);
    dataSource.addColumn(a);
    const QString A = token(a);
    const QString B = u"<#B!>"_s;
    const auto describe = [&](const QString& text) {
        QStringList parts;
        for (const QVariant& item : dataSource.tokenizeString(text)) {
            if (item.typeId() == QMetaType::QString)
                parts << QString(u"'"_s + item.toString() + u"'"_s);
            else
                parts << item.toMap().value(u"tokenTitle"_s).toString();
        }
        return parts.join(QLatin1Char(' '));
    };
    EXPECT_EQ(describe(u""_s), u""_s);
    EXPECT_EQ(describe(u"plain text"_s), u"'plain text'"_s);
    EXPECT_EQ(describe(QString(A + u"x"_s + B)), u"A 'x' Column Missing"_s);
    EXPECT_EQ(describe(QString(u"x<#"_s + a->uniqueID())), QString(u"'x<#"_s + a->uniqueID() + u"'"_s));
    EXPECT_EQ(describe(A), u"A"_s);
    EXPECT_EQ(describe(QString(A + A)), u"A A"_s);
    EXPECT_EQ(describe(u"<#!>"_s), u"Column Missing"_s);
    EXPECT_EQ(describe(u"<#<#x!>y"_s), u"Column Missing 'y'"_s);

    const QVariantMap dictionary = dataSource.tokenDictionaryFromTokenString(A);
    EXPECT_EQ(dictionary.value(u"tokenCode"_s).toString(), A);
    EXPECT_EQ(dictionary.value(u"tokenUID"_s).toString(), a->uniqueID());
    EXPECT_TRUE(NVSCGDataSource::isToken(A));
    EXPECT_FALSE(NVSCGDataSource::isToken(u"<#x"_s));
    EXPECT_EQ(NVSCGDataSource::tokenString(A), a->uniqueID());
}

TEST(Tokenizer, TransformerBothWays) {
    NVSCGDataSource dataSource;
    auto a = std::make_shared<NVSCGDataSourceColumn>(u"A"_s, u"/a"_s);
    dataSource.addColumn(a);
    TokenValueTransformer transformer;
    EXPECT_FALSE(transformer.transformedValue(u"x"_s).isValid());
    transformer.setDataSource(&dataSource);
    const QString text = QString(u"Race "_s + token(a));
    const QVariant items = transformer.transformedValue(text);
    ASSERT_EQ(items.toList().size(), 2);
    EXPECT_EQ(transformer.reverseTransformedValue(items), text);
    EXPECT_FALSE(transformer.transformedValue(42).isValid());
    const QVariantList mixed{u"s"_s, dataSource.tokenDictionaryFromTokenString(token(a)), 7};
    EXPECT_EQ(transformer.reverseTransformedValue(mixed), QString(u"s"_s + token(a)));
    EXPECT_EQ(transformer.reverseTransformedValue(u"not a list"_s), u""_s);
}

TEST_F(Columns, CellValuesFromFeedAndFormats) {
    EXPECT_EQ(cell(0, name), u"Race 1"_s);
    EXPECT_EQ(cell(2, state), u"S3"_s);

    auto label = dataSource.addNewColumnAtIndex(99);
    EXPECT_EQ(dataSource.columnAtIndex(2), label);
    label->setFormat(QString(u"Race "_s + token(state) + u" <#missing!>!"_s));
    EXPECT_EQ(cell(1, label), u"Race S2 !"_s);

    // A column naming itself in its format contributes its own feed value there.
    name->setFormat(QString(u"["_s + token(name) + u"]"_s));
    EXPECT_EQ(cell(0, name), u"[Race 1]"_s);
    EXPECT_EQ(dataSource.contentNodeAtIndex(0)->stringValueForColum(*name, true), u"Race 1"_s);

    // No identifier and no format: the empty string (the lookup logs the invalid request).
    auto bare = std::make_shared<NVSCGDataSourceColumn>();
    StderrCapture log;
    EXPECT_EQ(cell(0, bare), u""_s);
}

// Formats referring to each other must not expand without end.
TEST_F(Columns, FormatCyclesTerminate) {
    name->setFormat(QString(u"N("_s + token(state) + u")"_s));
    state->setFormat(QString(u"S("_s + token(name) + u")"_s));
    EXPECT_EQ(cell(0, name), u"N(S(Race 1))"_s);
    EXPECT_EQ(cell(0, state), u"S(N(S1))"_s);

    auto third = dataSource.addNewColumnAtIndex(2);
    third->setIdentifier(u"/feed/race[*]/candidate[1]/Last"_s);
    third->setFormat(token(name));
    state->setFormat(token(third));
    EXPECT_EQ(cell(1, name), u"N(Race 2)"_s);
    EXPECT_EQ(cell(1, third), u"N(L2_1)"_s);
}

TEST_F(Columns, ListOperations) {
    dataSource.addColumnWithTitle(u"Again"_s, u"/feed/race[*]/Name"_s);
    EXPECT_EQ(dataSource.countOfColumns(), 2u);

    state->setFormat(u"f"_s);
    state->setType(NVSCGDataSourceColumn::Image);
    const auto copy = dataSource.duplicateColumn(state);
    ASSERT_EQ(dataSource.columnAtIndex(2), copy);
    EXPECT_NE(copy->uniqueID(), state->uniqueID());
    QVariantMap copied = copy->dictionaryRepresentation(); // everything but the identity
    copied.insert(NVSCGDataSourceColumnUniqueIDKey, state->uniqueID());
    EXPECT_EQ(copied, state->dictionaryRepresentation());

    EXPECT_EQ(dataSource.indexOfColumnWithIdentifier(u"/feed/race[*]/State"_s), 1u);
    EXPECT_EQ(dataSource.indexOfColumnWithIdentifier(u"/none"_s), NVSNotFound);
    EXPECT_EQ(dataSource.columnAtIndex(NVSNotFound), nullptr);
    EXPECT_EQ(dataSource.columnWithUniqueID(copy->uniqueID()), copy);

    dataSource.reorderColumn(0, 2);
    EXPECT_EQ(dataSource.columns(), (std::vector<NVSCGDataSourceColumnPtr>{state, copy, name}));
    dataSource.removeColumnWithIdentifier(u"/feed/race[*]/Name"_s);
    dataSource.removeColumnsObject(copy);
    EXPECT_EQ(dataSource.columns(), (std::vector<NVSCGDataSourceColumnPtr>{state}));
}

TEST_F(Columns, SelectedFlagsFollowTheColumns) {
    const auto rows = dataSource.contentNodes();
    const auto nameNode = [&](std::size_t row) { return rows[row]->children()[0]; };
    const auto lastNode = [&](std::size_t row) { return rows[row]->children()[2]->children()[0]; };
    EXPECT_TRUE(nameNode(0)->selected());
    EXPECT_TRUE(nameNode(2)->selected());
    EXPECT_FALSE(lastNode(1)->selected());

    int signals = 0;
    QObject::connect(lastNode(1)->notifier(), &NVSCGDataSourceNodeNotifier::selectedChanged,
                     [&] { ++signals; });
    dataSource.addColumnWithTitle(u"Last"_s, u"/feed/race[*]/candidate[1]/Last"_s);
    EXPECT_TRUE(lastNode(1)->selected());
    EXPECT_EQ(signals, 1);

    // A second column on the same element keeps it selected when the first goes.
    const auto twin = std::make_shared<NVSCGDataSourceColumn>(u"Twin"_s, name->identifier());
    dataSource.addColumn(twin);
    dataSource.removeColumnsObject(name);
    EXPECT_TRUE(nameNode(1)->selected());
    dataSource.removeColumnsObject(twin);
    EXPECT_FALSE(nameNode(1)->selected());
}

#include "DataSourceTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceNodeNotifier.h"
#include "datasource/TokenValueTransformer.h"
#include "platform/XmlDocument.h"

#include <gtest/gtest.h>

using namespace datasource_test;

namespace {

QString token(const NVSCGDataSourceColumnPtr& column) {
    return QString(QStringLiteral("<#") + column->uniqueID() + QStringLiteral("!>"));
}

class Columns : public ::testing::Test {
  protected:
    void SetUp() override {
        dataSource.setXPath(QStringLiteral("/feed/race[*]"));
        dataSource.processXMLDocument(platform::XmlDocument::parse(electionFeed(3)));
        drainMainQueue();
        name = std::make_shared<NVSCGDataSourceColumn>(QStringLiteral("Name"),
                                                       QStringLiteral("/feed/race[*]/Name"));
        state = std::make_shared<NVSCGDataSourceColumn>(QStringLiteral("State"),
                                                        QStringLiteral("/feed/race[*]/State"));
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
    auto a = std::make_shared<NVSCGDataSourceColumn>(QStringLiteral("A"), QStringLiteral("/a"));
    dataSource.addColumn(a);
    const QString A = token(a);
    const QString B = QStringLiteral("<#B!>");
    const auto describe = [&](const QString& text) {
        QStringList parts;
        for (const QVariant& item : dataSource.tokenizeString(text)) {
            if (item.typeId() == QMetaType::QString)
                parts << QString(QStringLiteral("'") + item.toString() + QStringLiteral("'"));
            else
                parts << item.toMap().value(QStringLiteral("tokenTitle")).toString();
        }
        return parts.join(QLatin1Char(' '));
    };
    EXPECT_EQ(describe(QStringLiteral("")), QStringLiteral(""));
    EXPECT_EQ(describe(QStringLiteral("plain text")), QStringLiteral("'plain text'"));
    EXPECT_EQ(describe(QString(A + QStringLiteral("x") + B)), QStringLiteral("A 'x' Column Missing"));
    EXPECT_EQ(describe(QString(QStringLiteral("x<#") + a->uniqueID())),
              QString(QStringLiteral("'x<#") + a->uniqueID() + QStringLiteral("'")));
    EXPECT_EQ(describe(A), QStringLiteral("A"));
    EXPECT_EQ(describe(QString(A + A)), QStringLiteral("A A"));
    EXPECT_EQ(describe(QStringLiteral("<#!>")), QStringLiteral("Column Missing"));
    EXPECT_EQ(describe(QStringLiteral("<#<#x!>y")), QStringLiteral("Column Missing 'y'"));

    const QVariantMap dictionary = dataSource.tokenDictionaryFromTokenString(A);
    EXPECT_EQ(dictionary.value(QStringLiteral("tokenCode")).toString(), A);
    EXPECT_EQ(dictionary.value(QStringLiteral("tokenUID")).toString(), a->uniqueID());
    EXPECT_TRUE(NVSCGDataSource::isToken(A));
    EXPECT_FALSE(NVSCGDataSource::isToken(QStringLiteral("<#x")));
    EXPECT_EQ(NVSCGDataSource::tokenString(A), a->uniqueID());
}

TEST(Tokenizer, TransformerBothWays) {
    NVSCGDataSource dataSource;
    auto a = std::make_shared<NVSCGDataSourceColumn>(QStringLiteral("A"), QStringLiteral("/a"));
    dataSource.addColumn(a);
    TokenValueTransformer transformer;
    EXPECT_FALSE(transformer.transformedValue(QStringLiteral("x")).isValid());
    transformer.setDataSource(&dataSource);
    const QString text = QString(QStringLiteral("Race ") + token(a));
    const QVariant items = transformer.transformedValue(text);
    ASSERT_EQ(items.toList().size(), 2);
    EXPECT_EQ(transformer.reverseTransformedValue(items), text);
    EXPECT_FALSE(transformer.transformedValue(42).isValid());
    const QVariantList mixed{QStringLiteral("s"), dataSource.tokenDictionaryFromTokenString(token(a)), 7};
    EXPECT_EQ(transformer.reverseTransformedValue(mixed), QString(QStringLiteral("s") + token(a)));
    EXPECT_EQ(transformer.reverseTransformedValue(QStringLiteral("not a list")), QStringLiteral(""));
}

TEST_F(Columns, CellValuesFromFeedAndFormats) {
    EXPECT_EQ(cell(0, name), QStringLiteral("Race 1"));
    EXPECT_EQ(cell(2, state), QStringLiteral("S3"));

    auto label = dataSource.addNewColumnAtIndex(99);
    EXPECT_EQ(dataSource.columnAtIndex(2), label);
    label->setFormat(QString(QStringLiteral("Race ") + token(state) + QStringLiteral(" <#missing!>!")));
    EXPECT_EQ(cell(1, label), QStringLiteral("Race S2 !"));

    // A column naming itself in its format contributes its own feed value there.
    name->setFormat(QString(QStringLiteral("[") + token(name) + QStringLiteral("]")));
    EXPECT_EQ(cell(0, name), QStringLiteral("[Race 1]"));
    EXPECT_EQ(dataSource.contentNodeAtIndex(0)->stringValueForColum(*name, true), QStringLiteral("Race 1"));

    // No identifier and no format: the empty string (the lookup logs the invalid request).
    auto bare = std::make_shared<NVSCGDataSourceColumn>();
    StderrCapture log;
    EXPECT_EQ(cell(0, bare), QStringLiteral(""));
}

// Formats referring to each other must not expand without end.
TEST_F(Columns, FormatCyclesTerminate) {
    name->setFormat(QString(QStringLiteral("N(") + token(state) + QStringLiteral(")")));
    state->setFormat(QString(QStringLiteral("S(") + token(name) + QStringLiteral(")")));
    EXPECT_EQ(cell(0, name), QStringLiteral("N(S(Race 1))"));
    EXPECT_EQ(cell(0, state), QStringLiteral("S(N(S1))"));

    auto third = dataSource.addNewColumnAtIndex(2);
    third->setIdentifier(QStringLiteral("/feed/race[*]/candidate[1]/Last"));
    third->setFormat(token(name));
    state->setFormat(token(third));
    EXPECT_EQ(cell(1, name), QStringLiteral("N(Race 2)"));
    EXPECT_EQ(cell(1, third), QStringLiteral("N(L2_1)"));
}

TEST_F(Columns, ListOperations) {
    dataSource.addColumnWithTitle(QStringLiteral("Again"), QStringLiteral("/feed/race[*]/Name"));
    EXPECT_EQ(dataSource.countOfColumns(), 2u);

    state->setFormat(QStringLiteral("f"));
    state->setType(NVSCGDataSourceColumn::Image);
    const auto copy = dataSource.duplicateColumn(state);
    ASSERT_EQ(dataSource.columnAtIndex(2), copy);
    EXPECT_NE(copy->uniqueID(), state->uniqueID());
    EXPECT_EQ(copy->uniqueID().size(), 36);
    EXPECT_EQ(copy->title(), state->title());
    EXPECT_EQ(copy->identifier(), state->identifier());
    EXPECT_EQ(copy->format(), state->format());
    EXPECT_EQ(copy->type(), state->type());

    EXPECT_EQ(dataSource.indexOfColumnWithIdentifier(QStringLiteral("/feed/race[*]/State")), 1u);
    EXPECT_EQ(dataSource.indexOfColumnWithIdentifier(QStringLiteral("/none")), NVSNotFound);
    EXPECT_EQ(dataSource.columnAtIndex(NVSNotFound), nullptr);
    EXPECT_EQ(dataSource.columnWithUniqueID(copy->uniqueID()), copy);

    dataSource.reorderColumn(0, 2);
    EXPECT_EQ(dataSource.columns(), (std::vector<NVSCGDataSourceColumnPtr>{state, copy, name}));
    dataSource.removeColumnWithIdentifier(QStringLiteral("/feed/race[*]/Name"));
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
    dataSource.addColumnWithTitle(QStringLiteral("Last"), QStringLiteral("/feed/race[*]/candidate[1]/Last"));
    EXPECT_TRUE(lastNode(1)->selected());
    EXPECT_EQ(signals, 1);

    // A second column on the same element keeps it selected when the first goes.
    const auto twin = std::make_shared<NVSCGDataSourceColumn>(QStringLiteral("Twin"), name->identifier());
    dataSource.addColumn(twin);
    dataSource.removeColumnsObject(name);
    EXPECT_TRUE(nameNode(1)->selected());
    dataSource.removeColumnsObject(twin);
    EXPECT_FALSE(nameNode(1)->selected());
}

TEST_F(Columns, ColumnSignals) {
    std::vector<std::string> events;
    QObject::connect(&dataSource, &NVSCGDataSource::columnsInserted,
                     [&](const NVSIndexSet& s) { events.push_back("insert " + std::to_string(*s.begin())); });
    QObject::connect(&dataSource, &NVSCGDataSource::columnsRemoved,
                     [&](const NVSIndexSet& s) { events.push_back("remove " + std::to_string(*s.begin())); });
    QObject::connect(&dataSource, &NVSCGDataSource::columnsReset, [&] { events.push_back("reset"); });
    dataSource.addNewColumnAtIndex(1);
    dataSource.removeColumnsAtIndexes({0});
    dataSource.reorderColumn(0, 1);
    dataSource.setColumns({name});
    dataSource.setColumns(dataSource.columns());
    EXPECT_EQ(events, (std::vector<std::string>{"insert 1", "remove 0", "reset", "reset"}));
}

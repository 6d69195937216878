#include "app/GraflinkVariable.h"

#include "testkit/TestHelpers.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

TEST(GraflinkVariable, DictionaryFormRoundTripsAndOmitsWhatIsNotSet) {
    GraflinkVariable variable;
    variable.setXPath(QStringLiteral("rss/channel/item/title"));
    variable.setCGProjectName(QStringLiteral("Scores"));
    variable.setCGProjectItemName(QStringLiteral("Home"));
    variable.setValueType(3);
    variable.setAppleScriptActionName(QStringLiteral("Flash"));
    variable.setFormat(std::nullopt);
    const QVariantMap dictionary = variable.dictionaryRepresentation();
    EXPECT_EQ(dictionary.value(QStringLiteral("CGProjectFieldName")).toString(), QStringLiteral("Home"));
    EXPECT_FALSE(dictionary.contains(QStringLiteral("CGProjectItemName")));
    EXPECT_FALSE(dictionary.contains(QStringLiteral("format")));

    const GraflinkVariable copy(dictionary);
    EXPECT_EQ(copy.XPath(), variable.XPath());
    EXPECT_EQ(copy.CGProjectName(), variable.CGProjectName());
    EXPECT_EQ(copy.CGProjectItemName(), variable.CGProjectItemName());
    EXPECT_EQ(copy.valueType(), 3);
    EXPECT_EQ(copy.appleScriptActionName(), QStringLiteral("Flash"));
    // A stored variable without "format" gets the default format back.
    EXPECT_EQ(copy.format(), GraflinkVariable::DefaultFormat);
    EXPECT_EQ(copy.description(), QStringLiteral("Scores / Home"));
}

TEST(GraflinkVariable, ValueTypeIsStoredUnsignedAndReadBackSigned) {
    GraflinkVariable variable;
    variable.setValueType(-1);
    const QVariantMap dictionary = variable.dictionaryRepresentation();
    EXPECT_EQ(dictionary.value(QStringLiteral("valueType")).toLongLong(), 4294967295LL);
    EXPECT_EQ(GraflinkVariable(dictionary).valueType(), -1);
    // Without "valueType" a stored variable is a number variable.
    EXPECT_EQ(GraflinkVariable(QVariantMap{{QStringLiteral("XPath"), QStringLiteral("a")}}).valueType(), 2);
}

TEST(GraflinkVariable, TellsObserversOfDerivedProperties) {
    GraflinkVariable variable;
    QSignalSpy requiresFormat(&variable, &GraflinkVariable::requiresFormatChanged);
    QSignalSpy description(&variable, &GraflinkVariable::descriptionChanged);
    variable.setValueType(0);
    variable.setValueType(1); // still plain text: requiresFormat stays NO
    variable.setValueType(2);
    EXPECT_EQ(requiresFormat.count(), 2);
    EXPECT_TRUE(variable.requiresFormat());
    variable.setCGProjectName(QStringLiteral("Weather"));
    variable.setCGProjectItemName(QStringLiteral("Temp"));
    EXPECT_EQ(description.count(), 2);
}

TEST(GraflinkVariable, AnEmptiedPathKeepsTheOldOne) {
    GraflinkVariable variable;
    std::optional<QString> proposed;
    variable.validateXPath(proposed);
    EXPECT_EQ(proposed, QStringLiteral("current_observation/temp_f"));
    std::optional<QString> edited = QStringLiteral("a/b");
    variable.validateXPath(edited);
    EXPECT_EQ(edited, QStringLiteral("a/b"));
}

TEST(GraflinkVariable, SettingTheSameProjectNameRefreshesTheFieldList) {
    GraflinkVariable variable;
    QSignalSpy items(&variable, &GraflinkVariable::projectItemsChanged);
    QSignalSpy name(&variable, &GraflinkVariable::CGProjectNameChanged);
    variable.setCGProjectName(QStringLiteral("Scores"));
    variable.setCGProjectName(QStringLiteral("Scores"));
    EXPECT_EQ(name.count(), 1);
    EXPECT_EQ(items.count(), 2);
    EXPECT_TRUE(variable.projectItems().isEmpty()) << "no document, no CG client";
}

} // namespace

#include "app/GraflinkVariable.h"

#include "testkit/TestHelpers.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

TEST(GraflinkVariable, DictionaryFormRoundTripsAndOmitsWhatIsNotSet) {
    GraflinkVariable variable;
    variable.setXPath(u"rss/channel/item/title"_s);
    variable.setCGProjectName(u"Scores"_s);
    variable.setCGProjectItemName(u"Home"_s);
    variable.setValueType(3);
    variable.setAppleScriptActionName(u"Flash"_s);
    variable.setFormat(std::nullopt);
    const QVariantMap dictionary = variable.dictionaryRepresentation();
    EXPECT_EQ(dictionary.value(u"CGProjectFieldName"_s).toString(), u"Home"_s);
    EXPECT_FALSE(dictionary.contains(u"CGProjectItemName"_s));
    EXPECT_FALSE(dictionary.contains(u"format"_s));

    const GraflinkVariable copy(dictionary);
    EXPECT_EQ(copy.XPath(), variable.XPath());
    EXPECT_EQ(copy.CGProjectName(), variable.CGProjectName());
    EXPECT_EQ(copy.CGProjectItemName(), variable.CGProjectItemName());
    EXPECT_EQ(copy.valueType(), 3);
    EXPECT_EQ(copy.appleScriptActionName(), u"Flash"_s);
    // A stored variable without "format" gets the default format back.
    EXPECT_EQ(copy.format(), GraflinkVariable::DefaultFormat);
    EXPECT_EQ(copy.description(), u"Scores / Home"_s);

    // The value type is stored unsigned and read back signed; without it a variable is a number.
    variable.setValueType(-1);
    EXPECT_EQ(variable.dictionaryRepresentation().value(u"valueType"_s).toLongLong(), 4294967295LL);
    EXPECT_EQ(GraflinkVariable(variable.dictionaryRepresentation()).valueType(), -1);
    EXPECT_EQ(GraflinkVariable(QVariantMap{{u"XPath"_s, u"a"_s}}).valueType(), 2);
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
    variable.setCGProjectName(u"Weather"_s);
    variable.setCGProjectItemName(u"Temp"_s);
    EXPECT_EQ(description.count(), 2);

    // The same project name again changes no name, but the field list is fetched again.
    QSignalSpy items(&variable, &GraflinkVariable::projectItemsChanged);
    QSignalSpy name(&variable, &GraflinkVariable::CGProjectNameChanged);
    variable.setCGProjectName(u"Scores"_s);
    variable.setCGProjectName(u"Scores"_s);
    EXPECT_EQ(name.count(), 1);
    EXPECT_EQ(items.count(), 2);
    EXPECT_TRUE(variable.projectItems().isEmpty()) << "no document, no CG client";
}

TEST(GraflinkVariable, AnEmptiedPathKeepsTheOldOne) {
    GraflinkVariable variable;
    std::optional<QString> proposed;
    variable.validateXPath(proposed);
    EXPECT_EQ(proposed, u"current_observation/temp_f"_s);
    std::optional<QString> edited = u"a/b"_s;
    variable.validateXPath(edited);
    EXPECT_EQ(edited, u"a/b"_s);
}

} // namespace

#include "cglink/CGProject.h"
#include "cglink/CGProjectItem.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

using platform::JsonValue;

JsonValue camel(const char* name, const char* id) {
    return {{"displayName", name}, {"uniqueID", id}, {"type", "text"}};
}

JsonValue snake(const char* name, const char* id) {
    return {{"display_name", name}, {"unique_id", id}, {"type", "text"}};
}

TEST(ProjectDecoding, AcceptsOnlyTheGenerationsKeysWithThreeCharacters) {
    const struct {
        const char* label;
        JsonValue record;
        qint32 serverType;
        bool accepted;
    } cases[] = {{"camel, type 1", camel("ABC", "P1X"), 1, true},
                 {"snake, type 2", snake("ABC", "P1X"), 2, true},
                 {"camel, type 2", camel("ABC", "P1X"), 2, false},
                 {"snake, type 1", snake("ABC", "P1X"), 1, false},
                 {"camel, unknown type 7", camel("ABC", "P1X"), 7, true},
                 {"snake, unknown type 0", snake("ABC", "P1X"), 0, false},
                 {"two-character name", camel("AB", "P1X"), 1, false},
                 {"two-character identifier", camel("ABC", "P1"), 1, false},
                 {"name not a string", JsonValue{{"displayName", 123}, {"uniqueID", "P1X"}}, 1, false},
                 {"identifier missing", JsonValue{{"displayName", "ABC"}}, 1, false},
                 {"not an object", JsonValue::array({"ABC", "P1X"}), 1, false},
                 {"null", JsonValue(), 1, false}};
    for (const auto& c : cases) {
        const auto project = CGProject::fromDictionary(c.record, c.serverType);
        EXPECT_EQ(project != nullptr, c.accepted) << c.label;
        EXPECT_EQ(project ? project->CGServerType() : c.serverType, c.serverType) << c.label;
    }
}

// Items share the projects' keys and lengths (one rule, above) and need a type as well.
TEST(ItemDecoding, NeedsATypeOfThreeCharacters) {
    EXPECT_NE(CGProjectItem::fromDictionary(camel("ABC", "I1X"), 1), nullptr);
    EXPECT_EQ(CGProjectItem::fromDictionary(
                  JsonValue{{"displayName", "ABC"}, {"uniqueID", "I1X"}, {"type", "tx"}}, 1),
              nullptr);
    EXPECT_EQ(CGProjectItem::fromDictionary(JsonValue{{"displayName", "ABC"}, {"uniqueID", "I1X"}}, 1),
              nullptr);
}

class ProjectLookup : public ::testing::Test {
  protected:
    void SetUp() override {
        project = CGProject::fromDictionary(camel("Scores", "P1X"), 1);
        ASSERT_NE(project, nullptr);
        for (const auto& [name, id] : {std::pair{"Home", "I01"}, {"Away", "I02"}, {"Home", "I03"}})
            project->itemList()->append(CGProjectItem::fromDictionary(camel(name, id), 1));
    }
    std::shared_ptr<CGProject> project;
};

TEST_F(ProjectLookup, FindsTheFirstListedMatchCaseSensitivelyAlsoInACopy) {
    EXPECT_EQ(project->itemWithName(u"Home"_s)->uniqueID(), u"I01"_s);
    EXPECT_EQ(project->itemWithUniqueID(u"I03"_s)->name(), u"Home"_s);
    EXPECT_EQ(project->itemWithName(u"home"_s), nullptr);
    EXPECT_EQ(project->itemWithUniqueID(u"i01"_s), nullptr);
    EXPECT_EQ(CGProject().itemWithName(u"Home"_s), nullptr);

    // A copy shares the item list and the selected item, not the name.
    project->setSelectedItem(project->items().first());
    const auto copy = project->copy();
    EXPECT_EQ(copy->name(), u"Scores"_s);
    EXPECT_EQ(copy->uniqueID(), u"P1X"_s);
    EXPECT_EQ(copy->selectedItem(), project->selectedItem());
    project->itemList()->append(CGProjectItem::fromDictionary(camel("Clock", "I04"), 1));
    ASSERT_EQ(copy->items().size(), 4);
    EXPECT_EQ(copy->itemWithName(u"Clock"_s)->uniqueID(), u"I04"_s);
    copy->setName(u"Other"_s);
    EXPECT_EQ(project->name(), u"Scores"_s);
}

// Lookups and appends on different threads must neither crash nor see a torn list.
TEST_F(ProjectLookup, LookupsRunSafelyBesideAppends) {
    std::thread writer([this] {
        for (int i = 0; i < 2000; ++i)
            project->itemList()->append(CGProjectItem::fromDictionary(camel("Filler", "I99"), 1));
    });
    int found = 0;
    for (int i = 0; i < 2000; ++i)
        found += project->itemWithName(u"Away"_s) != nullptr;
    writer.join();
    EXPECT_EQ(found, 2000);
    EXPECT_EQ(project->items().size(), 2003);
}

} // namespace

#include "platform/NumberPatternFormatter.h"

#include <QStringList>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

using platform::NumberPatternFormatter;

namespace {

struct PatternCase {
    const char* pattern;
    const char* locale;
    double value;
    const char* expected;
};

} // namespace

class NumberPatternFormatterTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(NumberPatternFormatterTest, FormatsLikeThePatternSays) {
    const PatternCase& c = GetParam();
    const NumberPatternFormatter formatter(QString::fromUtf8(c.pattern), QString::fromUtf8(c.locale));
    ASSERT_TRUE(formatter.isValid()) << formatter.errorText().toStdString();
    EXPECT_TRUE(formatter.errorText().isEmpty());
    EXPECT_EQ(formatter.format(c.value), QString::fromUtf8(c.expected)) << c.pattern << " " << c.value;
}

INSTANTIATE_TEST_SUITE_P(NumberPattern, NumberPatternFormatterTest,
                         ::testing::Values(
                             // Literal prefix and suffix; rounding is half-even.
                             PatternCase{"Temp #° F", "en_US", 72.4, "Temp 72° F"},
                             PatternCase{"Temp #° F", "en_US", 72.5, "Temp 72° F"},
                             PatternCase{"Temp #° F", "en_US", 73.5, "Temp 74° F"},
                             PatternCase{"Temp #° F", "en_US", 1234.6, "Temp 1235° F"},
                             // Without a negative part the minus goes before the prefix.
                             PatternCase{"Temp #° F", "en_US", -3.2, "-Temp 3° F"},
                             PatternCase{"Temp #° F;Temp -#° F", "en_US", -3.2, "Temp -3° F"},
                             PatternCase{"Temp #° F;Temp -#° F", "en_US", 3.2, "Temp 3° F"},
                             PatternCase{"#%", "en_US", 0.256, "26%"},
                             PatternCase{"'%'#", "en_US", 0.256, "%0"},
                             PatternCase{"#,##0.00", "en_US", 1234.5, "1,234.50"},
                             PatternCase{"#,##0.00", "de_DE", 1234.5, "1.234,50"},
                             PatternCase{"00.###", "en_US", 3.14159, "03.142"},
                             PatternCase{"#.##", "en_US", 0.0, "0"},
                             PatternCase{"0.0 'pts'", "en_US", 12.25, "12.2 pts"}),
                         [](const auto& paramInfo) { return "Case" + std::to_string(paramInfo.index); });

TEST(NumberPatternFormatterValidityTest, RejectedPatternsSayWhy) {
    for (const char* pattern : {"#.#.#", "0#", "#,##,,#"}) {
        const NumberPatternFormatter formatter(QString::fromUtf8(pattern), u"en_US"_s);
        EXPECT_FALSE(formatter.isValid()) << pattern;
        EXPECT_TRUE(formatter.errorText().contains(QString::fromUtf8(pattern))) << pattern;
        EXPECT_TRUE(formatter.errorText().contains(u"U_"_s)) << formatter.errorText().toStdString();
        EXPECT_TRUE(formatter.format(1.0).isEmpty()) << pattern;
    }
}

// A moved-from formatter must leave the moved-to one its locale and pattern.
TEST(NumberPatternFormatterValidityTest, DefaultLocaleAndMovedFormattersWork) {
    NumberPatternFormatter first(u"0.0 'units'"_s);
    NumberPatternFormatter second = std::move(first);
    ASSERT_TRUE(second.isValid()) << second.errorText().toStdString();
    EXPECT_EQ(second.format(5.25), u"5.2 units"_s);
}

// One formatter is shared by the feed workers; concurrent formatting must not corrupt results.
TEST(NumberPatternFormatterValidityTest, OneFormatterServesManyThreads) {
    const NumberPatternFormatter formatter(u"Temp #,##0.0° F"_s, u"en_US"_s);
    ASSERT_TRUE(formatter.isValid());
    // Results of one thread alone are the reference.
    QStringList expected;
    for (int i = 0; i < 4000; ++i)
        expected << formatter.format(i + 0.25);
    ASSERT_EQ(expected[1234], u"Temp 1,234.2° F"_s);

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&formatter, &expected, &mismatches] {
            for (int i = 0; i < 4000; ++i) {
                if (formatter.format(i + 0.25) != expected[i])
                    ++mismatches;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

#include "platform/NumberPatternFormatter.h"

#include <QStringList>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

using platform::NumberPatternFormatter;

// Rounding, sub-patterns and the like are ICU's; ours are the pattern and the locale handed
// over (non-ASCII text, a locale's separators, none for the default) and the text brought back.
TEST(NumberPatternFormatterTest, FormatsInThePatternAndLocaleGiven) {
    const struct {
        const char* pattern;
        const char* locale;
        double value;
        const char* expected;
    } cases[] = {
        {"Temp #° F", "en_US", 72.4, "Temp 72° F"},
        {"#,##0.00", "en_US", 1234.5, "1,234.50"},
        {"#,##0.00", "de_DE", 1234.5, "1.234,50"},
        {"0.0 'units'", "", 5.25, "5.2 units"},
    };
    for (const auto& c : cases) {
        const NumberPatternFormatter formatter(QString::fromUtf8(c.pattern), QString::fromUtf8(c.locale));
        ASSERT_TRUE(formatter.isValid()) << formatter.errorText().toStdString();
        EXPECT_EQ(formatter.format(c.value), QString::fromUtf8(c.expected)) << c.pattern << " " << c.locale;
    }
}

TEST(NumberPatternFormatterTest, RejectedPatternsSayWhy) {
    for (const char* pattern : {"#.#.#", "0#", "#,##,,#"}) {
        const NumberPatternFormatter formatter(QString::fromUtf8(pattern), u"en_US"_s);
        EXPECT_FALSE(formatter.isValid()) << pattern;
        EXPECT_TRUE(formatter.errorText().contains(QString::fromUtf8(pattern))) << pattern;
        EXPECT_TRUE(formatter.errorText().contains(u"U_"_s)) << formatter.errorText().toStdString();
        EXPECT_TRUE(formatter.format(1.0).isEmpty()) << pattern;
    }
}

// One formatter is shared by the feed workers; concurrent formatting must not corrupt results.
TEST(NumberPatternFormatterTest, OneFormatterServesManyThreads) {
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

#include "platform/StreamedKeyPaths.h"

#include "platform/JsonKeyPath.h"
#include "platform/SimdjsonPadding.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace Qt::StringLiterals;

using platform::JsonKeyPath;
using platform::JsonValue;
using platform::StreamedKeyPaths;

namespace {
// Longer than the texts the pass searches for a backslash before its parse.
constexpr qsizetype LongText = 5 * 1024 * 1024;
} // namespace

// Every path gets what the tree gives it, of the same JSON type: the last of equal keys counts
// (also where an earlier one led deeper), escaped keys, long arrays, two components that read as
// one index, paths ending where others go on, through scalars and past the ends of arrays.
TEST(StreamedKeyPaths, AnswersEveryPathAsTheTreeDoes) {
    QByteArray text =
        R"({"a":{"b":[{"c":1},{"c":2.5,"c":"last"}]},"/":{"x":"slash"},"n":null,"s":"12.5",)"
        R"("dup":{"in":1},"dup":2,"again":[1],"again":{"k":"v"},"k\u0065y":"escaped","q\"":"quote",)"
        R"("num":[-0,18446744073709551615,-9223372036854775808,1e2,0.1,true,false],"long":[)";
    for (int i = 0; i < 40; ++i)
        text += (i ? "," : "") + QByteArray::number(i * 10);
    text += R"(],"nested":[[{"k":[true,{"deep":"yes"}]}]],"tail":"\ud83d\ude00\n\/"})";
    const std::optional<JsonValue> tree = platform::parseJson(text);
    ASSERT_TRUE(tree);

    const QStringList paths =
        uR"(a/b/1/c|a/b/0|a/b|a|/x|n|s|dup/in|dup|again/k|again/0|key|q"|num/0|num/1|num/2|num/3|num/4|)"
        uR"(num/5|num/6|long/x|long/2abc|long/39|long/40|long/-1|long/17|long/017|long/99999999999|a/missing|)"
        uR"(a/b/0/c/deeper|nested/0/0/k/1/deep|nested/0/0/k/5|nested/0|s/0|tail|long/3/x)"_s.split(u'|');
    const std::shared_ptr<const StreamedKeyPaths> streamed = StreamedKeyPaths::make(paths);
    ASSERT_TRUE(streamed);
    // A long text is searched for escapes beside the parse.
    for (const QByteArray& form : {text, QByteArray(text + QByteArray(LongText, ' '))}) {
        const std::optional<StreamedKeyPaths::Values> values = streamed->values(form);
        ASSERT_TRUE(values);
        ASSERT_EQ(values->size(), std::size_t(paths.size()));
        for (qsizetype i = 0; i < paths.size(); ++i) {
            const JsonValue* expected = JsonKeyPath::valueAt(*tree, paths[i]);
            const std::optional<JsonValue>& found = (*values)[std::size_t(i)];
            EXPECT_EQ(found ? found->dump() : "nowhere", expected ? expected->dump() : "nowhere")
                << paths[i].toStdString() << " in " << form.size() << " bytes";
        }
    }
    EXPECT_FALSE(StreamedKeyPaths::make({u"a"_s, u"$.a"_s}));
}

// The pass reads the values no path wants as strictly as the ones it returns: what the full parse
// refuses, or might read differently, is never answered.
TEST(StreamedKeyPaths, LeavesToTheFullParseWhatItMightNotReadTheSame) {
    const QByteArray texts[] = {
        R"({"a":1,"b":tru})",
        R"({"a":1,"b":nul})",
        R"({"a":1,"b":[1,2,]})",
        R"({"a":1,"b":{"c" 1}})",
        R"({"a":1 "b":2})",
        R"({"a":1,})",
        R"({"a":1,"b":"\x"})",
        R"({"a":1,"\q":2})",
        "{\"a\":1,\"b\":\"\x01\"}",
        "{\"a\":1,\"b\":\"\xff\"}",
        R"({"a":1,"b":01})",
        R"({"a":1,"b":1.})",
        R"({"a":1,"b":"\ud800"})",
        R"({"a":1,"b":"\udc00x"})",
        R"({"a":1,"b":-})",
        R"({"a":1,"b":1x})",
        R"({"a":1} x)",
        R"({"a":1}{})",
        R"({"a":1)",
        R"({"a":1,"b":[1 2]})",
        R"({"a":1,"b":123456789012345678901234})",
        "\xef\xbb\xbf{\"a\":1}",
        R"("a")",
        "12",
        "",
        R"({"a":1,"b":)" + QByteArray(600, '[') + QByteArray(600, ']') + "}",
        // A string left to the iteration's skipping was read as a key, and the wrong closers passed.
        R"({"a":1,"b":[2,"c":1}]})",
    };
    const std::shared_ptr<const StreamedKeyPaths> streamed = StreamedKeyPaths::make({u"a"_s});
    ASSERT_TRUE(streamed);
    for (const QByteArray& text : texts) {
        EXPECT_EQ(streamed->values(text), std::nullopt) << text.toStdString();
        // Trailing white space makes a long text, searched for escapes beside the parse.
        if (text.contains('\\')) {
            EXPECT_EQ(streamed->values(text + QByteArray(LongText, ' ')), std::nullopt) << text.toStdString();
        }
    }
}

// An array whose front was removed keeps part of its capacity before its data: taking capacity
// minus size for the room simdjson reads past the end let both parses read beyond the allocation
// (inside the system's simdjson, where the sanitizer does not look).
TEST(StreamedKeyPaths, CountsOnlyTheRoomAfterTheEndAsPadding) {
    QByteArray text(60, ' ');
    text += R"({"a":[1,2,"x"]})";
    text.reserve(text.size() + 10);
    text.remove(0, 60);
    ASSERT_GE(text.capacity() - text.size(), platform::SimdjsonPaddingBytes);
    EXPECT_FALSE(platform::hasSimdjsonPadding(text));
    text.reserve(text.capacity() + platform::SimdjsonPaddingBytes);
    EXPECT_TRUE(platform::hasSimdjsonPadding(text));
    const std::optional<StreamedKeyPaths::Values> values = StreamedKeyPaths::make({u"a/2"_s})->values(text);
    ASSERT_TRUE(values);
    EXPECT_EQ((*values)[0], JsonValue("x"));
}

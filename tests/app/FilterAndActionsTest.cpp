#include "app/AppTestEnvironment.h"
#include "app/NVSAppleScriptActionsController.h"
#include "testkit/TestHelpers.h"

#include <QFile>
#include <nlohmann/json.hpp>

namespace {

using Reply = testing_support::LoopbackHttpServer::Reply;
using platform::JsonValue;
using testing_support::writeFile;

class FilterAndActions : public AppTestEnvironment {
  protected:
    /// A document over a JSON feed with one variable per path (plain text), filtered by `script`.
    std::unique_ptr<GraflinkDocument> filtered(const QByteArray& feed, const QStringList& paths,
                                               const QByteArray& script) {
        server->serve("/feed.json", Reply::text(feed, "application/json"));
        auto document = std::make_unique<GraflinkDocument>(environmentWithActions());
        QList<QVariantMap> variables;
        for (const QString& path : paths)
            variables.append({{u"XPath"_s, path}, {u"valueType"_s, 0}});
        document->loadVariablesFromDictionaries(variables);
        if (!script.isNull()) {
            const QString file = temp.path() + u"/filter.js"_s;
            writeFile(file, script);
            document->setJavascriptFilterPath(file);
        }
        EXPECT_TRUE(pointAt(*document, u"/feed.json"_s));
        return document;
    }

    GraflinkDocument::Environment environmentWithActions() {
        GraflinkDocument::Environment env = environment();
        env.actions = actions.get();
        return env;
    }

    /// An executable action that appends "<pid> <arguments>" to a record file.
    void addAction(const QString& fileName) {
        const QString folder = temp.path() + u"/actions"_s;
        const QString path = folder + QLatin1Char('/') + fileName;
        writeFile(path, "#!/bin/sh\necho \"$$ $*\" >> '" + recordPath().toUtf8() + "'\n");
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (!actions)
            actions = std::make_unique<NVSAppleScriptActionsController>(folder, nullptr);
    }
    QString recordPath() const { return temp.path() + u"/record.txt"_s; }
    /// The recorded runs' arguments, in the order the processes were started.
    QStringList recordedRuns(int expected) {
        QStringList lines;
        testing_support::waitUntil([&] {
            lines = QString::fromUtf8(testing_support::readFile(recordPath()))
                        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            return lines.size() >= expected;
        });
        std::sort(lines.begin(), lines.end(), [](const QString& a, const QString& b) {
            return a.section(QLatin1Char(' '), 0, 0).toLongLong() <
                   b.section(QLatin1Char(' '), 0, 0).toLongLong();
        });
        for (QString& line : lines)
            line = line.section(QLatin1Char(' '), 1);
        return lines;
    }

    std::unique_ptr<NVSAppleScriptActionsController> actions;
};

// Values reach the script as globals named after their paths and come back as text; what the
// script leaves undefined, deletes or never touches keeps its value.
TEST_F(FilterAndActions, ScriptsRewriteValuesThroughTheirGlobals) {
    const struct {
        const char* feed;
        QStringList paths;
        QByteArray script;
        std::vector<std::optional<JsonValue>> expected;
    } cases[] = {
        {R"({"current_observation":{"temp_f":"72"},"a":{"b":[5]},"n":3})",
         {u"current_observation/temp_f"_s, u"a/b/0"_s, u"n"_s},
         "current_observation_temp_f += '!';\n a_b_0 = 40 + 2;",
         {text("72!"), text("42"), text("3")}},
        {R"({"o":{"k":1},"l":[1,2],"z":null,"t":true,"f":1.5})",
         {u"o"_s, u"l"_s, u"z"_s, u"t"_s, u"f"_s, u"gone"_s},
         "var unrelated = 1;",
         {text("[object Object]"), text("1,2"), text("null"), text("true"), text("1.5"), std::nullopt}},
        // Assignments before an exception count.
        {R"({"a":"one","b":"two","c":"three"})",
         {u"a"_s, u"b"_s, u"c"_s},
         "a = undefined; delete b; c = 'changed'; throw new Error('late');",
         {text("one"), text("two"), text("changed")}},
        // An invalid address calls back before httpGet returns.
        {R"({"a":"x"})",
         {u"a"_s},
         "var seen = 'not called';\n"
         "httpGet('not a url', function (error, body) { seen = error + '/' + body; });\n a = seen;",
         {text("Invalid URL/null")}},
        {R"({"n":3})", {u"n"_s}, "", {JsonValue(3)}}, // an empty filter changes nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script.toStdString());
        auto document = filtered(c.feed, c.paths, c.script);
        for (int i = 0; i < int(c.expected.size()); ++i)
            EXPECT_EQ(valueOf(*document, i), c.expected[std::size_t(i)]) << i;
    }
}

TEST_F(FilterAndActions, HttpCallbacksRunLaterWithTheBodyAndKeepTheirEngine) {
    server->serve("/answer", Reply::text("forty-two", "text/plain", 500));
    const QByteArray script = "httpGet('" + server->url(u"/answer"_s).toEncoded() +
                              "', function (error, body) {\n"
                              "  httpPost('" +
                              server->url(u"/echo"_s).toEncoded() +
                              "', 'got ' + body + ' error ' + error, function () {});\n"
                              "});\n a = 'sent';";
    auto document = filtered(R"({"a":"x"})", {u"a"_s}, script);
    EXPECT_EQ(valueOf(*document, 0), text("sent"));
    // The feed, the page, then the post from the page's callback.
    ASSERT_TRUE(testing_support::waitUntil([&] { return server->requestCount() == 3; }));
    const auto echo = server->requests().last();
    EXPECT_EQ(echo.path, "/echo");
    EXPECT_EQ(echo.method, "POST");
    EXPECT_EQ(echo.body, "got forty-two error null") << "the status of an error page is not examined";
}

// A runaway filter must not freeze the program on air.
TEST_F(FilterAndActions, InterruptsARunawayScriptAndKeepsTheEvaluatedValues) {
    defaults->setValue(u"javascriptFilterTimeLimit"_s, 0.2);
    auto document = filtered(R"({"a":"evaluated"})", {u"a"_s}, "a = 'half-way'; while (true) {}");
    EXPECT_EQ(valueOf(*document, 0), text("evaluated"));
    EXPECT_EQ(logLines().filter(u"JavaScript filter interrupted after 0.2 seconds"_s).size(), 1)
        << logLines().join(QLatin1Char('|')).toStdString();
}

// A callback that never returned once froze the main thread for good.
TEST_F(FilterAndActions, InterruptsARunawayCallbackAndLogsIt) {
    defaults->setValue(u"javascriptFilterTimeLimit"_s, 0.2);
    server->serve("/slow", Reply::text("answer"));
    const QByteArray url = server->url(u"/slow"_s).toEncoded();
    auto document = filtered(R"({"a":"evaluated"})", {u"a"_s},
                             "httpGet('" + url + "', function (error, body) { while (true) {} });");
    EXPECT_TRUE(testing_support::waitUntil([&] {
        return !logLines().filter(u"JavaScript filter callback interrupted after 0.2 seconds: "_s).isEmpty();
    }));
    document->refresh(); // the loop goes on
    EXPECT_TRUE(waitForRefreshes(*document));
}

TEST_F(FilterAndActions, RefusesRequestsBeyondTheCapAtOnce) {
    server->serve("/hang", Reply::hang());
    const QByteArray url = server->url(u"/hang"_s).toEncoded();
    auto document = filtered(R"({"a":"evaluated"})", {u"a"_s},
                             "var refused = [];\n"
                             "for (var i = 0; i < 20; ++i) httpGet('" +
                                 url +
                                 "', function (e) { if (e) refused.push(e); });\n"
                                 "a = refused.length + ' ' + refused[0];");
    EXPECT_EQ(valueOf(*document, 0), text("4 Too many outstanding requests"));
}

TEST_F(FilterAndActions, RunsEachVariablesActionWithItsValueInListOrder) {
    addAction(u"Flash.sh"_s);
    addAction(u"Other"_s);
    EXPECT_EQ(actions->actionNames(), QStringList({u"Flash"_s, u"Other"_s}));
    server->serve("/feed.json", Reply::text(R"({"a":"first","b":2,"c":"third"})", "application/json"));
    auto document = std::make_unique<GraflinkDocument>(environmentWithActions());
    EXPECT_EQ(document->availableAppleScriptActions(), actions->actionNames());
    document->loadVariablesFromDictionaries({
        {{u"XPath"_s, u"a"_s}, {u"valueType"_s, 0}, {u"appleScriptActionName"_s, u"Flash"_s}},
        {{u"XPath"_s, u"gone"_s}, {u"valueType"_s, 0}, {u"appleScriptActionName"_s, u"Flash"_s}},
        {{u"XPath"_s, u"b"_s}, {u"valueType"_s, 0}, {u"appleScriptActionName"_s, u"Flash"_s}},
        {{u"XPath"_s, u"c"_s}, {u"valueType"_s, 0}, {u"appleScriptActionName"_s, u"Unknown"_s}},
    });
    ASSERT_FALSE(document->publishToCG());
    ASSERT_TRUE(pointAt(*document, u"/feed.json"_s));
    // Publishing is off, the variable without a value runs nothing, an unknown action is ignored.
    EXPECT_EQ(recordedRuns(2), QStringList({u"first"_s, u"2"_s}));
    testing_support::spinFor(std::chrono::milliseconds(200));
    EXPECT_EQ(recordedRuns(2).size(), 2);
}

// Fault guarded: an action whose program could not be started was dropped without a word.
TEST_F(FilterAndActions, AnActionThatCannotStartIsLoggedWithItsReason) {
    const QString folder = temp.path() + u"/broken"_s;
    const QString path = folder + u"/Flash Lower Third.sh"_s;
    writeFile(path, "#!/nonexistent/interpreter\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    NVSAppleScriptActionsController controller(folder, nullptr, logger.get());
    const auto action = controller.actionWithName(u"Flash Lower Third"_s);
    ASSERT_TRUE(action);
    std::optional<bool> started;
    controller.executeAction(*action, {NVSAppleScriptParameter::parameterWithString(u"x"_s)},
                             [&](bool ok) { started = ok; });
    EXPECT_EQ(started, false);
    const QString said = u"The action “Flash Lower Third” could not be started: "_s;
    const QStringList logged = logLines().filter(said);
    ASSERT_EQ(logged.size(), 1) << logLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_GT(logged.first().size(), said.size()) << "the reason follows";
}

TEST(AppleScriptActions, WithoutAFolderThereAreNone) {
    const GraflinkDocument document;
    EXPECT_TRUE(document.availableAppleScriptActions().isEmpty());
    NVSAppleScriptActionsController controller(u"/nonexistent/folder"_s, nullptr);
    EXPECT_TRUE(controller.actionNames().isEmpty());
    EXPECT_FALSE(controller.actionWithName(u"x"_s));
}

} // namespace

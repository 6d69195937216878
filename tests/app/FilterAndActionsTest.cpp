#include "app/AppTestEnvironment.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "app/NVSAppleScriptActionsController.h"
#include "testkit/TestHelpers.h"

#include <QDir>
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
            variables.append({{QStringLiteral("XPath"), path}, {QStringLiteral("valueType"), 0}});
        document->loadVariablesFromDictionaries(variables);
        if (!script.isNull()) {
            const QString file = temp.path() + QStringLiteral("/filter.js");
            writeFile(file, script);
            document->setJavascriptFilterPath(file);
        }
        document->setSourceURLString(server->url(QStringLiteral("/feed.json")).toString());
        EXPECT_TRUE(waitForRefreshes(*document));
        return document;
    }

    GraflinkDocument::Environment environmentWithActions() {
        GraflinkDocument::Environment env = environment();
        env.actions = actions.get();
        return env;
    }

    static std::optional<JsonValue> valueOf(const GraflinkDocument& document, int index) {
        return document.variables().variables().at(index)->currentStringValue();
    }
    static JsonValue text(const char* value) { return JsonValue(std::string(value)); }

    /// An executable action that appends "<pid> <arguments>" to a record file.
    void addAction(const QString& fileName) {
        const QString folder = temp.path() + QStringLiteral("/actions");
        QDir().mkpath(folder);
        const QString path = folder + QLatin1Char('/') + fileName;
        writeFile(path, "#!/bin/sh\necho \"$$ $*\" >> '" + recordPath().toUtf8() + "'\n");
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (!actions)
            actions = std::make_unique<NVSAppleScriptActionsController>(folder, nullptr);
    }
    QString recordPath() const { return temp.path() + QStringLiteral("/record.txt"); }
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
         {QStringLiteral("current_observation/temp_f"), QStringLiteral("a/b/0"), QStringLiteral("n")},
         "current_observation_temp_f += '!';\n a_b_0 = 40 + 2;",
         {text("72!"), text("42"), text("3")}},
        {R"({"o":{"k":1},"l":[1,2],"z":null,"t":true,"f":1.5})",
         {QStringLiteral("o"), QStringLiteral("l"), QStringLiteral("z"), QStringLiteral("t"),
          QStringLiteral("f"), QStringLiteral("gone")},
         "var unrelated = 1;",
         {text("[object Object]"), text("1,2"), text("null"), text("true"), text("1.5"), std::nullopt}},
        // Assignments before an exception count.
        {R"({"a":"one","b":"two","c":"three"})",
         {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")},
         "a = undefined; delete b; c = 'changed'; throw new Error('late');",
         {text("one"), text("two"), text("changed")}},
        // An invalid address calls back before httpGet returns.
        {R"({"a":"x"})",
         {QStringLiteral("a")},
         "var seen = 'not called';\n"
         "httpGet('not a url', function (error, body) { seen = error + '/' + body; });\n a = seen;",
         {text("Invalid URL/null")}},
        {R"({"n":3})", {QStringLiteral("n")}, "", {JsonValue(3)}}, // an empty filter changes nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script.toStdString());
        auto document = filtered(c.feed, c.paths, c.script);
        for (int i = 0; i < int(c.expected.size()); ++i)
            EXPECT_EQ(valueOf(*document, i), c.expected[std::size_t(i)]) << i;
    }
    auto missing = filtered(R"({"n":3})", {QStringLiteral("n")}, QByteArray());
    missing->setJavascriptFilterPath(temp.path() + QStringLiteral("/nowhere.js"));
    missing->refresh();
    ASSERT_TRUE(waitForRefreshes(*missing));
    EXPECT_EQ(valueOf(*missing, 0), JsonValue(3)) << "published exactly as evaluated";
}

TEST_F(FilterAndActions, HttpCallbacksRunLaterWithTheBodyAndKeepTheirEngine) {
    server->serve("/answer", Reply::text("forty-two", "text/plain", 500));
    const QByteArray script = "httpGet('" + server->url(QStringLiteral("/answer")).toEncoded() +
                              "', function (error, body) {\n"
                              "  httpPost('" +
                              server->url(QStringLiteral("/echo")).toEncoded() +
                              "', 'got ' + body + ' error ' + error, function () {});\n"
                              "});\n a = 'sent';";
    auto document = filtered(R"({"a":"x"})", {QStringLiteral("a")}, script);
    EXPECT_EQ(valueOf(*document, 0), text("sent"));
    ASSERT_TRUE(testing_support::waitUntil([&] {
        for (const auto& request : server->requests())
            if (request.path == "/echo")
                return true;
        return false;
    }));
    for (const auto& request : server->requests()) {
        if (request.path == "/echo") {
            EXPECT_EQ(request.method, "POST");
            EXPECT_EQ(request.body, "got forty-two error null")
                << "the status of an error page is not examined";
        }
    }
}

// A runaway filter must not freeze the program on air.
TEST_F(FilterAndActions, InterruptsARunawayScriptAndKeepsTheEvaluatedValues) {
    defaults->setValue(QStringLiteral("javascriptFilterTimeLimit"), 0.2);
    auto document =
        filtered(R"({"a":"evaluated"})", {QStringLiteral("a")}, "a = 'half-way'; while (true) {}");
    EXPECT_EQ(valueOf(*document, 0), text("evaluated"));
    bool logged = false;
    for (const QString& line : logLines())
        logged = logged || line.startsWith(QStringLiteral("JavaScript filter interrupted after 0.2 seconds"));
    EXPECT_TRUE(logged) << logLines().join(QLatin1Char('|')).toStdString();
}

// A callback that never returned once froze the main thread for good.
TEST_F(FilterAndActions, InterruptsARunawayCallbackAndLogsIt) {
    defaults->setValue(QStringLiteral("javascriptFilterTimeLimit"), 0.2);
    server->serve("/slow", Reply::text("answer"));
    const QByteArray url = server->url(QStringLiteral("/slow")).toEncoded();
    auto document = filtered(R"({"a":"evaluated"})", {QStringLiteral("a")},
                             "httpGet('" + url + "', function (error, body) { while (true) {} });");
    EXPECT_TRUE(testing_support::waitUntil([&] {
        const QStringList lines = logLines();
        return std::any_of(lines.begin(), lines.end(), [](const QString& line) {
            return line.startsWith(
                QStringLiteral("JavaScript filter callback interrupted after 0.2 seconds: "));
        });
    }));
    document->refresh(); // the loop goes on
    EXPECT_TRUE(waitForRefreshes(*document));
}

TEST_F(FilterAndActions, RefusesRequestsBeyondTheCapAtOnce) {
    server->serve("/hang", Reply::hang());
    const QByteArray url = server->url(QStringLiteral("/hang")).toEncoded();
    auto document = filtered(R"({"a":"evaluated"})", {QStringLiteral("a")},
                             "var refused = [];\n"
                             "for (var i = 0; i < 20; ++i) httpGet('" +
                                 url +
                                 "', function (e) { if (e) refused.push(e); });\n"
                                 "a = refused.length + ' ' + refused[0];");
    EXPECT_EQ(valueOf(*document, 0), text("4 Too many outstanding requests"));
}

TEST_F(FilterAndActions, RunsEachVariablesActionWithItsValueInListOrder) {
    addAction(QStringLiteral("Flash.sh"));
    addAction(QStringLiteral("Other"));
    EXPECT_EQ(actions->actionNames(), QStringList({QStringLiteral("Flash"), QStringLiteral("Other")}));
    server->serve("/feed.json", Reply::text(R"({"a":"first","b":2,"c":"third"})", "application/json"));
    auto document = std::make_unique<GraflinkDocument>(environmentWithActions());
    EXPECT_EQ(document->availableAppleScriptActions(), actions->actionNames());
    document->loadVariablesFromDictionaries({
        {{QStringLiteral("XPath"), QStringLiteral("a")},
         {QStringLiteral("valueType"), 0},
         {QStringLiteral("appleScriptActionName"), QStringLiteral("Flash")}},
        {{QStringLiteral("XPath"), QStringLiteral("gone")},
         {QStringLiteral("valueType"), 0},
         {QStringLiteral("appleScriptActionName"), QStringLiteral("Flash")}},
        {{QStringLiteral("XPath"), QStringLiteral("b")},
         {QStringLiteral("valueType"), 0},
         {QStringLiteral("appleScriptActionName"), QStringLiteral("Flash")}},
        {{QStringLiteral("XPath"), QStringLiteral("c")},
         {QStringLiteral("valueType"), 0},
         {QStringLiteral("appleScriptActionName"), QStringLiteral("Unknown")}},
    });
    ASSERT_FALSE(document->publishToCG());
    document->setSourceURLString(server->url(QStringLiteral("/feed.json")).toString());
    ASSERT_TRUE(waitForRefreshes(*document));
    // Publishing is off, the variable without a value runs nothing, an unknown action is ignored.
    EXPECT_EQ(recordedRuns(2), QStringList({QStringLiteral("first"), QStringLiteral("2")}));
    testing_support::spinFor(std::chrono::milliseconds(200));
    EXPECT_EQ(recordedRuns(2).size(), 2);
}

// Fault guarded: an action whose program could not be started was dropped without a word.
TEST_F(FilterAndActions, AnActionThatCannotStartIsLoggedWithItsReason) {
    const QString folder = temp.path() + QStringLiteral("/broken");
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/Flash Lower Third.sh");
    writeFile(path, "#!/nonexistent/interpreter\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    NVSAppleScriptActionsController controller(folder, nullptr, logger.get());
    const auto action = controller.actionWithName(QStringLiteral("Flash Lower Third"));
    ASSERT_TRUE(action);
    std::optional<bool> started;
    controller.executeAction(*action, {NVSAppleScriptParameter::parameterWithString(QStringLiteral("x"))},
                             [&](bool ok) { started = ok; });
    EXPECT_EQ(started, false);
    const QStringList lines = logLines();
    const auto logged = std::find_if(lines.begin(), lines.end(), [](const QString& line) {
        return line.startsWith(QStringLiteral("The action “Flash Lower Third” could not be started: "));
    });
    ASSERT_NE(logged, lines.end()) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_GT(logged->size(), QStringLiteral("The action “Flash Lower Third” could not be started: ").size())
        << "the reason follows";
}

TEST(AppleScriptActions, WithoutAFolderThereAreNone) {
    const GraflinkDocument document;
    EXPECT_TRUE(document.availableAppleScriptActions().isEmpty());
    NVSAppleScriptActionsController controller(QStringLiteral("/nonexistent/folder"), nullptr);
    EXPECT_TRUE(controller.actionNames().isEmpty());
    EXPECT_FALSE(controller.actionWithName(QStringLiteral("x")));
}

} // namespace

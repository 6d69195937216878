// The CG client against the simulator, each figure beside a raw libcurl baseline doing the same
// requests in the same run: a project refresh (20 projects × 30 items: 21 GETs with JSON
// decoding) and text updates (one PUT each, no password).
#include "app/GraflinkDocument.h"
#include "appbase/NVSLogController.h"
#include "cglink/CGServerHTTPController.h"
#include "cgsim/CGServerSimulator.h"
#include "platform/UserDefaults.h"
#include "platform/XmlDocument.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <nlohmann/json.hpp>

namespace {

constexpr int ProjectCount = 20;
constexpr int ItemsPerProject = 30;

QList<CGSimProject> benchProjects() {
    QList<CGSimProject> projects;
    for (int p = 0; p < ProjectCount; ++p) {
        CGSimProject project{QStringLiteral("Project %1").arg(p), QStringLiteral("PRJ-%1").arg(p), {}};
        for (int i = 0; i < ItemsPerProject; ++i)
            project.items.append({QStringLiteral("Field %1").arg(i),
                                  QStringLiteral("ITM-%1-%2").arg(p).arg(i), QStringLiteral("text")});
        projects.append(project);
    }
    return projects;
}

/// One simulator and one quiet logger for the whole run.
struct Fixture {
    Fixture() {
        CGServerSimulator::Options options;
        options.serverType = 2;
        options.projects = benchProjects();
        simulator = std::make_unique<CGServerSimulator>(options);
        simulator->start();
        defaults = std::make_unique<platform::UserDefaults>(folder.filePath(QStringLiteral("d.conf")));
        defaults->setValue(NVSLogController::TechnicalLogFolderPathKey, folder.path());
        logger = std::make_unique<NVSLogController>(
            NVSLogController::Configuration{defaults.get(), QStringLiteral("Bench"), nullptr, {}});
        logger->setLogDelegate(&delegate);
    }
    std::unique_ptr<CGServerHTTPController> client() {
        CGServerHTTPController::Options options;
        options.logger = logger.get();
        auto c = std::make_unique<CGServerHTTPController>(QStringLiteral("127.0.0.1"), simulator->port(), 2,
                                                          QString(), options);
        c->closeWebSockets();
        c->waitUntilIdle();
        return c;
    }
    QByteArray base() const { return QStringLiteral("http://127.0.0.1:%1").arg(simulator->port()).toUtf8(); }

    QTemporaryDir folder;
    std::unique_ptr<CGServerSimulator> simulator;
    std::unique_ptr<platform::UserDefaults> defaults;
    NVSLogControllerDelegate delegate;
    std::unique_ptr<NVSLogController> logger;
};

Fixture& fixture() {
    static Fixture* instance = new Fixture;
    return *instance;
}

size_t collect(char* data, size_t size, size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

/// A fresh easy handle per request, as the client opens a fresh connection per request.
std::string rawRequest(const QByteArray& url, const char* method = nullptr, const std::string& body = {}) {
    CURL* curl = curl_easy_init();
    std::string answer;
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    curl_slist* headers = nullptr;
    if (method) {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(body.size()));
        headers = curl_slist_append(headers, "Content-Type: application/json");
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    }
    curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return answer;
}

void Graflink_ProjectRefresh(benchmark::State& state) {
    auto client = fixture().client();
    for (auto _ : state) {
        client->updateProjects();
        client->waitUntilIdle();
        if (client->projects().size() != ProjectCount ||
            client->projects().first()->items().size() != ItemsPerProject)
            state.SkipWithError("incomplete refresh");
    }
    state.counters["requests/s"] =
        benchmark::Counter(double(state.iterations()) * (ProjectCount + 1), benchmark::Counter::kIsRate);
}

void RawCurl_ProjectRefresh(benchmark::State& state) {
    const QByteArray base = fixture().base() + "/playback/cg_projects";
    for (auto _ : state) {
        const auto projects = nlohmann::json::parse(rawRequest(base));
        size_t items = 0;
        for (const auto& project : projects)
            items +=
                nlohmann::json::parse(
                    rawRequest(base + '/' +
                               QByteArray::fromStdString(project["unique_id"].get<std::string>()) + "/items"))
                    .size();
        if (items != size_t(ProjectCount * ItemsPerProject))
            state.SkipWithError("incomplete refresh");
    }
    state.counters["requests/s"] =
        benchmark::Counter(double(state.iterations()) * (ProjectCount + 1), benchmark::Counter::kIsRate);
}

void Graflink_TextUpdate(benchmark::State& state) {
    auto client = fixture().client();
    const auto project = client->projectWithName(QStringLiteral("Project 3"));
    for (auto _ : state) {
        client->setStringValue(QStringLiteral("Score 3:1"), QStringLiteral("ITM-3-7"), project, false);
        client->waitUntilIdle();
    }
    fixture().simulator->clearAcceptedUpdates();
    state.counters["updates/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void RawCurl_TextUpdate(benchmark::State& state) {
    const QByteArray url = fixture().base() + "/playback/cg_projects/PRJ-3/items/ITM-3-7";
    for (auto _ : state) {
        const auto answer = nlohmann::json::parse(rawRequest(url, "PUT", "{\n  \"text\": \"Score 3:1\"\n}"));
        if (answer.value("success", false) != true)
            state.SkipWithError("update refused");
    }
    fixture().simulator->clearAcceptedUpdates();
    state.counters["updates/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

constexpr int PublishedVariables = 100;

constexpr int ChangingVariables = 5;

/// One refresh's publishing pass of a document with 100 bound variables (its XML already parsed):
/// every value sent, or (change-only publishing) the 5 that changed since the last refresh.
void publish100Variables(benchmark::State& state, bool changeOnly) {
    GraflinkDocument::Environment environment;
    environment.defaults = fixture().defaults.get();
    environment.logger = fixture().logger.get();
    GraflinkDocument document(environment);
    QList<QVariantMap> variables;
    for (int v = 0; v < PublishedVariables; ++v) {
        variables.append(
            {{QStringLiteral("XPath"), QStringLiteral("feed/v[%1]").arg(v + 1)},
             {QStringLiteral("CGProjectName"), QStringLiteral("Project %1").arg(v % ProjectCount)},
             {QStringLiteral("CGProjectFieldName"), QStringLiteral("Field %1").arg(v / ProjectCount)},
             {QStringLiteral("valueType"), 0}});
    }
    // Feed number `round`: each round changes the next 5 values.
    const auto feed = [](int round) {
        QByteArray text = "<feed>";
        for (int v = 0; v < PublishedVariables; ++v) {
            const int changes = (round * ChangingVariables - v + PublishedVariables - 1) / PublishedVariables;
            text +=
                "<v>Value " + QByteArray::number(v) + '.' + QByteArray::number(std::max(changes, 0)) + "</v>";
        }
        return platform::XmlDocument::parse(text + "</feed>");
    };
    document.loadVariablesFromDictionaries(variables);
    document.setCGServerIPAddress(QStringLiteral("127.0.0.1"));
    document.setCGServerPortNumber(fixture().simulator->port());
    document.setCGServerType(2);
    document.setChangeOnlyPublishing(changeOnly);
    document.setFullPublishSeconds(1e9);
    document.applyCGServerSettings();
    document.CGClient()->closeWebSockets();
    document.CGClient()->waitUntilIdle();
    document.setPublishToCG(true);
    int round = 0;
    auto xml = feed(round);
    document.processXMLDocument(*xml); // the first pass is full either way
    document.CGClient()->waitUntilIdle();
    fixture().simulator->clearAcceptedUpdates();
    // Each pass measured until its last value is on the server (the client sends on its worker).
    for (auto _ : state) {
        if (changeOnly) {
            state.PauseTiming();
            xml = feed(++round);
            state.ResumeTiming();
        }
        document.processXMLDocument(*xml);
        document.CGClient()->waitUntilIdle();
    }
    const int perPass = changeOnly ? ChangingVariables : PublishedVariables;
    if (std::size_t(fixture().simulator->acceptedUpdates().size()) !=
        std::size_t(state.iterations()) * std::size_t(perPass))
        state.SkipWithError("the server did not get exactly the values expected");
    fixture().simulator->clearAcceptedUpdates();
    state.counters["updates/s"] =
        benchmark::Counter(double(state.iterations()) * perPass, benchmark::Counter::kIsRate);
}

void Graflink_Publish100Variables(benchmark::State& state) {
    publish100Variables(state, false);
}

void Graflink_Publish100VariablesChangeOnly5(benchmark::State& state) {
    publish100Variables(state, true);
}

/// The same 100 PUTs straight through libcurl, a fresh connection each.
void RawCurl_Put100(benchmark::State& state) {
    std::vector<QByteArray> urls;
    for (int v = 0; v < PublishedVariables; ++v)
        urls.push_back(fixture().base() + "/playback/cg_projects/PRJ-" +
                       QByteArray::number(v % ProjectCount) + "/items/ITM-" +
                       QByteArray::number(v % ProjectCount) + '-' + QByteArray::number(v / ProjectCount));
    for (auto _ : state)
        for (int v = 0; v < PublishedVariables; ++v)
            rawRequest(urls[size_t(v)], "PUT", "{\n  \"text\": \"Value " + std::to_string(v) + "\"\n}");
    fixture().simulator->clearAcceptedUpdates();
    state.counters["updates/s"] =
        benchmark::Counter(double(state.iterations()) * PublishedVariables, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(Graflink_ProjectRefresh)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(RawCurl_ProjectRefresh)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(Graflink_TextUpdate)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(Graflink_Publish100Variables)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(Graflink_Publish100VariablesChangeOnly5)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();
BENCHMARK(RawCurl_Put100)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(RawCurl_TextUpdate)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();

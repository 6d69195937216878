// One refresh of 1,000 variables over the election feed (~10 MB, XML and JSON; the feed and paths
// of `make bench-compare`): parse and evaluation measured apart, beside libxml2's own
// compiled-XPath loop (the floor for XML evaluation) and a Python lxml/json peer doing the same
// lookups (bench/peers/feed_refresh_peer.py). The JSON feed is also read the way a refresh can
// read it, parsed by simdjson with values built only for what the variables take.
#include "ElectionFeed.h"
#include "app/GraflinkVariable.h"
#include "app/VariableEvaluator.h"
#include "platform/Json.h"
#include "platform/JsonFeed.h"
#include "platform/SimdjsonPadding.h"
#include "platform/StreamedKeyPaths.h"
#include "platform/XPathCache.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <nlohmann/json.hpp>

namespace {

constexpr int PeerRepetitions = 5;

struct Feeds {
    QByteArray xml;
    QByteArray json;
    QStringList xpaths;
    QStringList keyPaths;
    std::vector<std::unique_ptr<GraflinkVariable>> xmlVariables;
    std::vector<std::unique_ptr<GraflinkVariable>> jsonVariables;
    QList<GraflinkVariable*> xmlList;
    QList<GraflinkVariable*> jsonList;
    QJsonObject peer;

    Feeds() : xml(ElectionFeed::xml()), json(ElectionFeed::json()) {
        for (const ElectionFeed::VariablePath& path : ElectionFeed::variablePaths()) {
            xpaths.append(path.xpath);
            keyPaths.append(path.keyPath);
            for (int kind = 0; kind < 2; ++kind) {
                auto variable = std::make_unique<GraflinkVariable>();
                variable->setXPath(kind == 0 ? path.xpath : path.keyPath);
                variable->setValueType(GraflinkVariable::PlainText);
                (kind == 0 ? xmlList : jsonList).append(variable.get());
                (kind == 0 ? xmlVariables : jsonVariables).push_back(std::move(variable));
            }
        }
        runPeer();
    }

    void runPeer() {
        QTemporaryDir dir;
        const auto write = [&](const QString& name, const QByteArray& bytes) {
            QFile file(dir.filePath(name));
            file.open(QIODevice::WriteOnly);
            file.write(bytes);
            return file.fileName();
        };
        QByteArray paths;
        for (int i = 0; i < xpaths.size(); ++i)
            paths += xpaths[i].toUtf8() + '\t' + keyPaths[i].toUtf8() + '\n';
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral(GRAFLINK_BENCH_PEERS "/feed_refresh_peer.py"),
                      write(QStringLiteral("feed.xml"), xml), write(QStringLiteral("feed.json"), json),
                      write(QStringLiteral("paths.txt"), paths), QString::number(PeerRepetitions)});
        if (python.waitForFinished(600000) && python.exitCode() == 0)
            peer = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
        else
            fprintf(stderr, "peer failed: %s\n", python.readAllStandardError().constData());
    }

    static Feeds& shared() {
        static Feeds feeds;
        return feeds;
    }
};

void Graflink_XmlParse(benchmark::State& state) {
    Feeds& feeds = Feeds::shared();
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::XmlDocument::parse(feeds.xml));
    state.SetBytesProcessed(state.iterations() * feeds.xml.size());
}

void Graflink_XmlEvaluate(benchmark::State& state) {
    Feeds& feeds = Feeds::shared();
    const auto document = platform::XmlDocument::parse(feeds.xml);
    VariableEvaluator evaluator;
    for (auto _ : state)
        evaluator.evaluate(feeds.xmlList, *document);
}

/// The floor: compiled expressions evaluated straight through libxml2, string value of the first node.
void LibXml2_CompiledXPathLoop(benchmark::State& state) {
    Feeds& feeds = Feeds::shared();
    const auto document = platform::XmlDocument::parse(feeds.xml);
    std::vector<xmlXPathCompExprPtr> compiled;
    for (const QString& path : feeds.xpaths)
        compiled.push_back(xmlXPathCompile(reinterpret_cast<const xmlChar*>(path.toUtf8().constData())));
    xmlXPathContextPtr context = xmlXPathNewContext(document->document());
    for (auto _ : state) {
        for (xmlXPathCompExprPtr expression : compiled) {
            context->node = document->documentNode();
            xmlXPathObjectPtr result = xmlXPathCompiledEval(expression, context);
            if (result && result->nodesetval && result->nodesetval->nodeNr > 0) {
                xmlChar* text = xmlXPathCastNodeToString(result->nodesetval->nodeTab[0]);
                benchmark::DoNotOptimize(text);
                xmlFree(text);
            }
            xmlXPathFreeObject(result);
        }
    }
    xmlXPathFreeContext(context);
    for (xmlXPathCompExprPtr expression : compiled)
        xmlXPathFreeCompExpr(expression);
}

void Graflink_JsonParse(benchmark::State& state) {
    Feeds& feeds = Feeds::shared();
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::parseJson(feeds.json));
    state.SetBytesProcessed(state.iterations() * feeds.json.size());
}

void Graflink_JsonEvaluate(benchmark::State& state) {
    Feeds& feeds = Feeds::shared();
    const auto root = platform::parseJson(feeds.json);
    VariableEvaluator evaluator;
    for (auto _ : state)
        evaluator.evaluate(feeds.jsonList, *root);
}

/// What a JSON refresh can do instead of parseJson + evaluate: simdjson's parse, then values for
/// the variables only.
void Graflink_JsonFeedParseAndEvaluate(benchmark::State& state) {
    Feeds& feeds = Feeds::shared();
    VariableEvaluator evaluator;
    for (auto _ : state) {
        const std::unique_ptr<platform::JsonFeed> feed = platform::JsonFeed::parse(feeds.json);
        evaluator.evaluateFeed(feeds.jsonList, *feed);
    }
    state.SetBytesProcessed(state.iterations() * feeds.json.size());
}

/// What a refresh does when every variable has a key path: one on-demand pass answers them all.
void Graflink_JsonStreamedKeyPaths(benchmark::State& state) {
    Feeds& feeds = Feeds::shared();
    const std::shared_ptr<const platform::StreamedKeyPaths> paths =
        platform::StreamedKeyPaths::make(feeds.keyPaths);
    // A received body has room past its end for the parser to read into; without it the pass copies.
    QByteArray body = feeds.json;
    body.reserve(body.size() + platform::SimdjsonPaddingBytes);
    for (auto _ : state)
        benchmark::DoNotOptimize(paths->values(body));
    state.SetBytesProcessed(state.iterations() * feeds.json.size());
}

void Peer(benchmark::State& state, const char* phase) {
    const QJsonArray times = Feeds::shared().peer.value(QString::fromLatin1(phase)).toArray();
    if (times.isEmpty()) {
        state.SkipWithError("the Python peer did not run");
        return;
    }
    qsizetype i = 0;
    for (auto _ : state)
        state.SetIterationTime(times.at(i++ % times.size()).toDouble());
}

BENCHMARK(Graflink_XmlParse)->Unit(benchmark::kMillisecond)->Iterations(PeerRepetitions);
BENCHMARK_CAPTURE(Peer, Python_lxml_XmlParse, "xml_parse")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(PeerRepetitions);
BENCHMARK(Graflink_XmlEvaluate)->Unit(benchmark::kMillisecond)->Iterations(PeerRepetitions);
BENCHMARK(LibXml2_CompiledXPathLoop)->Unit(benchmark::kMillisecond)->Iterations(PeerRepetitions);
BENCHMARK_CAPTURE(Peer, Python_lxml_XmlEvaluate, "xml_evaluate")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(PeerRepetitions);
BENCHMARK(Graflink_JsonParse)->Unit(benchmark::kMillisecond)->Iterations(PeerRepetitions);
BENCHMARK_CAPTURE(Peer, Python_json_JsonParse, "json_parse")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(PeerRepetitions);
BENCHMARK(Graflink_JsonEvaluate)->Unit(benchmark::kMillisecond)->Iterations(PeerRepetitions);
BENCHMARK_CAPTURE(Peer, Python_json_JsonEvaluate, "json_evaluate")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(PeerRepetitions);
BENCHMARK(Graflink_JsonFeedParseAndEvaluate)->Unit(benchmark::kMillisecond)->Iterations(PeerRepetitions);
BENCHMARK(Graflink_JsonStreamedKeyPaths)->Unit(benchmark::kMillisecond)->Iterations(PeerRepetitions);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    fprintf(stderr, "feed: %.1f MB XML, %.1f MB JSON, %d variables\n", Feeds::shared().xml.size() / 1e6,
            Feeds::shared().json.size() / 1e6, int(Feeds::shared().xpaths.size()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

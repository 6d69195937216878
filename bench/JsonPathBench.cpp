// 1,000 JSONPath queries with filters against the 1,000 key paths of the same values, over the
// generated 10 MB election feed in its compact parse, evaluated as a refresh evaluates variables
// (VariableEvaluator::evaluateFeed). A refresh always meets a new feed, so what the lookups build
// on a feed (listings of long arrays, filter indexes) is built again in every refresh.
#include "ElectionFeed.h"
#include "app/GraflinkVariable.h"
#include "app/VariableEvaluator.h"
#include "platform/JsonFeed.h"
#include "platform/JsonPathQuery.h"

#include <QList>
#include <QStringList>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>

namespace {

/// The JSONPath query that finds the value of `keyPath` by the races' and candidates' IDs:
/// ElectionResults/Race/16/Candidate/2/Votes → $.ElectionResults.Race[?@.RaceID==100016]
/// .Candidate[?@.CandidateID=='C16-2'].Votes
QString filterQuery(const QString& keyPath) {
    const QStringList parts = keyPath.split(QLatin1Char('/'));
    const int race = parts[2].toInt();
    QString query = QStringLiteral("$.ElectionResults.Race[?@.RaceID==%1]").arg(100000 + race);
    if (parts[3] == QLatin1String("Candidate"))
        query += QStringLiteral(".Candidate[?@.CandidateID=='C%1-%2'].%3").arg(race).arg(parts[4], parts[5]);
    else
        query += QLatin1Char('.') + parts[3];
    return query;
}

struct Variables {
    std::vector<std::unique_ptr<GraflinkVariable>> owned;
    QList<GraflinkVariable*> list;

    void add(const QString& path) {
        auto variable = std::make_unique<GraflinkVariable>();
        variable->setXPath(path);
        variable->setValueType(GraflinkVariable::PlainText);
        list.append(variable.get());
        owned.push_back(std::move(variable));
    }
};

struct Fixture {
    QByteArray json = ElectionFeed::json();
    Variables keyPaths;
    Variables queries;

    Fixture() {
        for (const ElectionFeed::VariablePath& path : ElectionFeed::variablePaths()) {
            keyPaths.add(path.keyPath);
            queries.add(filterQuery(path.keyPath));
        }
        checkSameValues();
    }

    // Both sets of paths must give the same values, or the comparison means nothing.
    void checkSameValues() {
        const std::unique_ptr<platform::JsonFeed> feed = platform::JsonFeed::parse(json);
        VariableEvaluator evaluator;
        evaluator.evaluateFeed(keyPaths.list, *feed);
        evaluator.evaluateFeed(queries.list, *feed);
        for (qsizetype i = 0; i < keyPaths.list.size(); ++i) {
            const auto& expected = keyPaths.list[i]->currentStringValue();
            if (!expected || expected != queries.list[i]->currentStringValue()) {
                std::fprintf(stderr, "%s gives another value than %s\n",
                             qPrintable(queries.list[i]->XPath().value()),
                             qPrintable(keyPaths.list[i]->XPath().value()));
                std::abort();
            }
        }
    }

    static Fixture& shared() {
        static Fixture fixture;
        return fixture;
    }
};

void evaluate(benchmark::State& state, const QList<GraflinkVariable*>& variables) {
    VariableEvaluator evaluator; // parses each query once, on the first iteration
    std::unique_ptr<platform::JsonFeed> feed;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (!feed || state.range(0) != 1)
            feed = platform::JsonFeed::parse(Fixture::shared().json);
        if (state.range(0) != 2)
            start = std::chrono::steady_clock::now();
        evaluator.evaluateFeed(variables, *feed);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

void KeyPaths_Evaluate1000(benchmark::State& state) {
    evaluate(state, Fixture::shared().keyPaths.list);
}

void JsonPathFilters_Evaluate1000(benchmark::State& state) {
    evaluate(state, Fixture::shared().queries.list);
}

/// What the evaluator's cache saves: parsing the 1,000 queries.
void JsonPathFilters_Parse1000(benchmark::State& state) {
    for (auto _ : state)
        for (const GraflinkVariable* variable : Fixture::shared().queries.list)
            benchmark::DoNotOptimize(platform::JsonPathQuery::parse(*variable->XPath()));
}

} // namespace

// Argument 0: the evaluation on a new feed each time, as refreshes have. 1: on the same feed again,
// with what earlier iterations built on it (the lookups alone). 2: the parse and the evaluation,
// both timed (a refresh's work on the feed).
BENCHMARK(KeyPaths_Evaluate1000)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(1.0);
BENCHMARK(JsonPathFilters_Evaluate1000)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(1.0);
BENCHMARK(JsonPathFilters_Parse1000)->Unit(benchmark::kMillisecond);

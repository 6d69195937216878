#include "export/ElectionRace.h"

#include "datasource/NVSCGDataSourceNode.h"

#include <QStringList>

ElectionRace ElectionRace::fromSourceNode(const NVSCGDataSourceNode& row) {
    const QString base = row.XPath();
    auto valueAt = [&](QLatin1StringView suffix) { return row.stringValueForXPath(QString(base + suffix)); };
    ElectionRace race;
    race.raceNumber = valueAt(QLatin1StringView("/RaceNumber"));
    race.displayName = valueAt(QLatin1StringView("/Name1"));
    race.precinctsPercentage = valueAt(QLatin1StringView("/PrecinctsPercentage"));
    for (std::size_t i = 1;; ++i) {
        const QString candidate =
            QString(base + QLatin1StringView("/Candidate[") + QString::number(i) + QLatin1Char(']'));
        auto candidateValue = [&](QLatin1StringView name) {
            return row.stringValueForXPath(QString(candidate + name));
        };
        if (candidateValue(QLatin1StringView("/Name")).isEmpty())
            break;
        race.candidates.push_back({candidateValue(QLatin1StringView("/FirstName")),
                                   candidateValue(QLatin1StringView("/LastName")),
                                   candidateValue(QLatin1StringView("/Votes")),
                                   candidateValue(QLatin1StringView("/PercentageOfVotesCast")),
                                   candidateValue(QLatin1StringView("/Winner"))});
    }
    return race;
}

QString ElectionRace::actionParameters() const {
    // QString::toUpper is the locale-independent Unicode mapping ("ß" → "SS", "i" → "I" everywhere).
    QStringList parameters{displayName.toUpper(), precinctsPercentage.toUpper()};
    for (const Candidate& candidate : candidates) {
        parameters << candidate.firstName.toUpper() << candidate.lastName.toUpper() << candidate.votes
                   << candidate.percentageOfVotesCast << candidate.winner.toUpper();
    }
    return parameters.join(QLatin1String("##"));
}

double ElectionRace::durationInSeconds(double candidateDisplayDuration) const {
    const std::size_t n = candidateCount();
    if (n == 0)
        return 2.0;
    const double D = candidateDisplayDuration;
    return D + D * double((n - 1) / 2) + 2.0;
}

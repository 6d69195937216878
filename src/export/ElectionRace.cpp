#include "export/ElectionRace.h"

#include "datasource/NVSCGDataSourceNode.h"

#include <QStringList>

ElectionRace ElectionRace::fromSourceNode(const NVSCGDataSourceNode& row) {
    // Paths from the row's own element: the same nodes as the row's path followed by these.
    auto valueAt = [&](const QString& relative) { return row.stringValueForRelativeXPath(relative); };
    ElectionRace race;
    race.raceNumber = valueAt(QStringLiteral("RaceNumber"));
    race.displayName = valueAt(QStringLiteral("Name1"));
    race.precinctsPercentage = valueAt(QStringLiteral("PrecinctsPercentage"));
    for (std::size_t i = 1;; ++i) {
        const QString candidate = QStringLiteral("Candidate[") + QString::number(i) + QLatin1Char(']');
        auto candidateValue = [&](QLatin1StringView name) { return valueAt(QString(candidate + name)); };
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

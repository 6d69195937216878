#include "export/ElectionRace.h"

#include "datasource/NVSCGDataSourceNode.h"

#include <QStringList>
#include <array>

namespace {

// The relative paths of the i-th candidate's elements, made once per thread for every position
// asked so far: a playlist reads six of them for each candidate of thousands of races.
enum CandidateField { Name, FirstName, LastName, Votes, PercentageOfVotesCast, Winner, FieldCount };

const std::array<QString, FieldCount>& candidatePaths(std::size_t i) {
    thread_local std::vector<std::array<QString, FieldCount>> made;
    while (made.size() < i) {
        const QString candidate = QStringLiteral("Candidate[") + QString::number(made.size() + 1) + u']';
        made.push_back({candidate + u"/Name", candidate + u"/FirstName", candidate + u"/LastName",
                        candidate + u"/Votes", candidate + u"/PercentageOfVotesCast",
                        candidate + u"/Winner"});
    }
    return made[i - 1];
}

// QString::toUpper, with ASCII text (the usual feed) upper-cased in place of Unicode's tables.
void appendUpper(QString& out, const QString& text) {
    const qsizetype start = out.size();
    out.append(text);
    QChar* at = out.data() + start;
    QChar* const end = out.data() + out.size();
    for (QChar* c = at; c != end; ++c) {
        if (c->unicode() >= 0x80) {
            out.truncate(start);
            out.append(text.toUpper());
            return;
        }
        if (c->unicode() >= u'a' && c->unicode() <= u'z')
            *c = QChar(char16_t(c->unicode() - (u'a' - u'A')));
    }
}

} // namespace

ElectionRace ElectionRace::fromSourceNode(const NVSCGDataSourceNode& row) {
    // Paths from the row's own element: the same nodes as the row's path followed by these.
    auto valueAt = [&](const QString& relative) { return row.stringValueForRelativeXPath(relative); };
    ElectionRace race;
    race.raceNumber = valueAt(QStringLiteral("RaceNumber"));
    race.displayName = valueAt(QStringLiteral("Name1"));
    race.precinctsPercentage = valueAt(QStringLiteral("PrecinctsPercentage"));
    for (std::size_t i = 1;; ++i) {
        const std::array<QString, FieldCount>& paths = candidatePaths(i);
        if (valueAt(paths[Name]).isEmpty())
            break;
        race.candidates.push_back({valueAt(paths[FirstName]), valueAt(paths[LastName]), valueAt(paths[Votes]),
                                   valueAt(paths[PercentageOfVotesCast]), valueAt(paths[Winner])});
    }
    return race;
}

QString ElectionRace::actionParameters() const {
    // QString::toUpper is the locale-independent Unicode mapping ("ß" → "SS", "i" → "I" everywhere).
    static const QString separator = QStringLiteral("##");
    QString parameters;
    appendUpper(parameters, displayName);
    parameters.append(separator);
    appendUpper(parameters, precinctsPercentage);
    for (const Candidate& candidate : candidates) {
        for (const QString* upper : {&candidate.firstName, &candidate.lastName}) {
            parameters.append(separator);
            appendUpper(parameters, *upper);
        }
        parameters.append(separator).append(candidate.votes).append(separator);
        parameters.append(candidate.percentageOfVotesCast).append(separator);
        appendUpper(parameters, candidate.winner);
    }
    return parameters;
}

double ElectionRace::durationInSeconds(double candidateDisplayDuration) const {
    const std::size_t n = candidateCount();
    if (n == 0)
        return 2.0;
    const double D = candidateDisplayDuration;
    return D + D * double((n - 1) / 2) + 2.0;
}

#pragma once

#include <QString>
#include <cstddef>
#include <vector>

class NVSCGDataSourceNode;

/// One row of an election-results feed as the playlist needs it. Missing elements read as empty
/// strings; nothing here fails.
struct ElectionRace {
    struct Candidate {
        QString firstName;
        QString lastName;
        QString votes;
        QString percentageOfVotesCast;
        QString winner;
    };

    QString raceNumber;
    QString displayName;
    QString precinctsPercentage;
    /// The named candidates from the first on; the first empty "Name" ends the list.
    std::vector<Candidate> candidates;

    /// Reads the race below `row` (its "RaceNumber", "Name1", "PrecinctsPercentage" and
    /// "Candidate[i]" children).
    static ElectionRace fromSourceNode(const NVSCGDataSourceNode& row);

    std::size_t candidateCount() const { return candidates.size(); }
    /// The action's parameter: display name and precincts, then first name, last name, votes,
    /// percentage and winner mark of every candidate, joined with "##"; names, precincts and
    /// marks upper-cased.
    QString actionParameters() const;
    /// D + D × floor((N − 1) / 2) + 2.0 seconds, or 2.0 without candidates.
    double durationInSeconds(double candidateDisplayDuration) const;
};

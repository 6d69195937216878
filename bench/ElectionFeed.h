#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

/// The election feed of the benchmarks, as bench/compare/election_feed.py makes it: 5,000 races
/// x 6 candidates (~10 MB as XML and as JSON), and the 1,000 paths the refresh jobs read.
class ElectionFeed {
  public:
    static constexpr int Races = 5000;
    static constexpr int Candidates = 6;

    struct VariablePath {
        QString xpath;   ///< absolute, positional: /ElectionResults/Race[17]/Candidate[3]/Votes
        QString keyPath; ///< the same value in the JSON feed: ElectionResults/Race/16/Candidate/2/Votes
    };

    static QByteArray xml();
    static QByteArray json();
    static std::vector<VariablePath> variablePaths(int count = 1000);
};

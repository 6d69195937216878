"""The election feed of the whole-process comparisons: 5,000 races x 6 candidates, as XML and JSON.

The XML is the feed of bench/DataSourceBench.cpp; the JSON carries the same races with numbers
as numbers. The paths that the compared jobs read are chosen here too, so that both sides of every
comparison read the same ones.
"""
import json

RACES = 5000
CANDIDATES = 6
OFFICES = ["U.S. House of Representatives", "State Senate", "Governor", "Attorney General"]
PARTIES = ["Democratic", "Republican", "Libertarian", "Green", "Independent", "Constitution"]
RACE_FIELDS = ["RaceID", "Office", "State", "Seat", "PrecinctsReporting", "PrecinctsTotal", "LastUpdated"]
CANDIDATE_FIELDS = ["CandidateID", "First", "Last", "Party", "Votes", "Percent", "Incumbent", "Winner"]


def race(r):
    return {
        "RaceID": 100000 + r,
        "Office": OFFICES[r % 4],
        "State": "State number %d" % (r % 50),
        "Seat": "District %d" % r,
        "PrecinctsReporting": r % 700,
        "PrecinctsTotal": 700,
        "LastUpdated": "2026-11-03T22:%d:00Z" % (10 + r % 50),
        "Candidate": [candidate(r, c) for c in range(CANDIDATES)],
    }


def candidate(r, c):
    return {
        "CandidateID": "C%d-%d" % (r, c),
        "First": "Alexandra",
        "Last": "Montgomery-%d-%d" % (r, c),
        "Party": PARTIES[c],
        "Votes": (r * 7919 + c * 104729) % 1000000,
        "Percent": 10 + (r + c) % 40 + 0.5,
        "Incumbent": False,
        "Winner": False,
    }


def xml_text(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    return str(value)


def xml_feed():
    parts = ['<?xml version="1.0" encoding="UTF-8"?>\n<ElectionResults>\n']
    for r in range(RACES):
        entry = race(r)
        parts.append("  <Race>\n")
        for field in RACE_FIELDS:
            parts.append("    <%s>%s</%s>\n" % (field, xml_text(entry[field]), field))
        for c in entry["Candidate"]:
            parts.append("    <Candidate>\n")
            for field in CANDIDATE_FIELDS:
                parts.append("      <%s>%s</%s>\n" % (field, xml_text(c[field]), field))
            parts.append("    </Candidate>\n")
        parts.append("  </Race>\n")
    parts.append("</ElectionResults>\n")
    return "".join(parts).encode()


def json_feed():
    return json.dumps({"ElectionResults": {"Race": [race(r) for r in range(RACES)]}}, indent=2).encode()


def variable_paths(count=1000):
    """(absolute XPath, key path) pairs reading the same values, spread over the whole feed."""
    paths = []
    for v in range(count):
        r = (v * 2953 + 17) % RACES  # every part of the feed, in no particular order
        if v % 3 == 0:
            field = RACE_FIELDS[v % len(RACE_FIELDS)]
            paths.append(("/ElectionResults/Race[%d]/%s" % (r + 1, field), "ElectionResults/Race/%d/%s" % (r, field)))
        else:
            c = v % CANDIDATES
            field = CANDIDATE_FIELDS[v % len(CANDIDATE_FIELDS)]
            paths.append(("/ElectionResults/Race[%d]/Candidate[%d]/%s" % (r + 1, c + 1, field),
                          "ElectionResults/Race/%d/Candidate/%d/%s" % (r, c, field)))
    return paths


def data_source_columns():
    """(title, path relative to a race) of the data-source jobs: 17 columns."""
    columns = [(f, f) for f in RACE_FIELDS]
    for c in range(1, 6):
        columns += [("Candidate %d Last" % c, "Candidate[%d]/Last" % c), ("Candidate %d Votes" % c, "Candidate[%d]/Votes" % c)]
    return columns


def playlist_feed():
    """The feed of the playlist export (bench/PlaylistExportBench.cpp): 5,000 races x 6 candidates."""
    parts = ['<?xml version="1.0" encoding="UTF-8"?>\n<Election>\n']
    for r in range(RACES):
        parts.append("  <Race>\n    <RaceNumber>%d</RaceNumber>\n    <Name1>District %d \u2013 State Senate</Name1>\n"
                     "    <PrecinctsPercentage>%d%% reporting</PrecinctsPercentage>\n" % (100000 + r, r, r % 100))
        for c in range(1, CANDIDATES + 1):
            parts.append("    <Candidate>\n      <Name>Alexandra Montgomery-%d-%d</Name>\n      <FirstName>Alexandra</FirstName>\n"
                         "      <LastName>Montgomery-%d-%d</LastName>\n      <Votes>%d</Votes>\n"
                         "      <PercentageOfVotesCast>%d.5</PercentageOfVotesCast>\n      <Winner>%s</Winner>\n"
                         "    </Candidate>\n" % (r, c, r, c, (r * 7919 + c * 104729) % 1000000, 10 + (r + c) % 40,
                                               "W" if c == 1 and r % 3 == 0 else ""))
        parts.append("  </Race>\n")
    parts.append("</Election>\n")
    return "".join(parts).encode()


def playlist_columns():
    """The columns of the playlist export, relative to a race (as bench/PlaylistExportBench.cpp)."""
    relatives = ["RaceNumber", "Name1", "PrecinctsPercentage"]
    for c in range(1, CANDIDATES + 1):
        relatives += ["Candidate[%d]/LastName" % c, "Candidate[%d]/Votes" % c]
    relatives += ["Candidate[%d]/Winner" % c for c in range(1, 6)]
    return relatives

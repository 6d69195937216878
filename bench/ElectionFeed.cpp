#include "ElectionFeed.h"

#include <array>
#include <nlohmann/json.hpp>
#include <string>

namespace {

const std::array<const char*, 4> Offices{"U.S. House of Representatives", "State Senate", "Governor",
                                         "Attorney General"};
const std::array<const char*, 6> Parties{"Democratic", "Republican",  "Libertarian",
                                         "Green",      "Independent", "Constitution"};
const std::array<const char*, 7> RaceFields{
    "RaceID", "Office", "State", "Seat", "PrecinctsReporting", "PrecinctsTotal", "LastUpdated"};
const std::array<const char*, 8> CandidateFields{"CandidateID", "First",   "Last",      "Party",
                                                 "Votes",       "Percent", "Incumbent", "Winner"};

nlohmann::ordered_json race(int r) {
    nlohmann::ordered_json candidates = nlohmann::ordered_json::array();
    for (int c = 0; c < ElectionFeed::Candidates; ++c) {
        const std::string id = std::to_string(r) + "-" + std::to_string(c);
        candidates.push_back({{"CandidateID", "C" + id},
                              {"First", "Alexandra"},
                              {"Last", "Montgomery-" + id},
                              {"Party", Parties[std::size_t(c)]},
                              {"Votes", (r * 7919 + c * 104729) % 1000000},
                              {"Percent", 10 + (r + c) % 40 + 0.5},
                              {"Incumbent", false},
                              {"Winner", false}});
    }
    return {{"RaceID", 100000 + r},
            {"Office", Offices[std::size_t(r % 4)]},
            {"State", "State number " + std::to_string(r % 50)},
            {"Seat", "District " + std::to_string(r)},
            {"PrecinctsReporting", r % 700},
            {"PrecinctsTotal", 700},
            {"LastUpdated", "2026-11-03T22:" + std::to_string(10 + r % 50) + ":00Z"},
            {"Candidate", std::move(candidates)}};
}

std::string text(const nlohmann::ordered_json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

} // namespace

QByteArray ElectionFeed::xml() {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ElectionResults>\n";
    xml.reserve(11 << 20);
    for (int r = 0; r < Races; ++r) {
        const nlohmann::ordered_json entry = race(r);
        xml += "  <Race>\n";
        for (const char* field : RaceFields)
            xml += std::string("    <") + field + ">" + text(entry[field]) + "</" + field + ">\n";
        for (const auto& candidate : entry["Candidate"]) {
            xml += "    <Candidate>\n";
            for (const char* field : CandidateFields)
                xml += std::string("      <") + field + ">" + text(candidate[field]) + "</" + field + ">\n";
            xml += "    </Candidate>\n";
        }
        xml += "  </Race>\n";
    }
    xml += "</ElectionResults>\n";
    return QByteArray::fromStdString(xml);
}

QByteArray ElectionFeed::json() {
    nlohmann::ordered_json races = nlohmann::ordered_json::array();
    for (int r = 0; r < Races; ++r)
        races.push_back(race(r));
    return QByteArray::fromStdString(
        nlohmann::ordered_json{{"ElectionResults", {{"Race", std::move(races)}}}}.dump(2));
}

std::vector<ElectionFeed::VariablePath> ElectionFeed::variablePaths(int count) {
    std::vector<VariablePath> paths;
    for (int v = 0; v < count; ++v) {
        const int r = (v * 2953 + 17) % Races;
        if (v % 3 == 0) {
            const QString field = QString::fromLatin1(RaceFields[std::size_t(v) % RaceFields.size()]);
            paths.push_back({QStringLiteral("/ElectionResults/Race[%1]/%2").arg(r + 1).arg(field),
                             QStringLiteral("ElectionResults/Race/%1/%2").arg(r).arg(field)});
        } else {
            const int c = v % Candidates;
            const QString field =
                QString::fromLatin1(CandidateFields[std::size_t(v) % CandidateFields.size()]);
            paths.push_back(
                {QStringLiteral("/ElectionResults/Race[%1]/Candidate[%2]/%3")
                     .arg(r + 1)
                     .arg(c + 1)
                     .arg(field),
                 QStringLiteral("ElectionResults/Race/%1/Candidate/%2/%3").arg(r).arg(c).arg(field)});
        }
    }
    return paths;
}

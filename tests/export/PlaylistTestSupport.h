#pragma once

#include "testkit/TestHelpers.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <libxml/tree.h>
#include <memory>
#include <optional>
#include <vector>

class NVSCGDataSource;
namespace platform {
class UserDefaults;
class XmlDocument;
} // namespace platform
namespace testing_support {
class LoopbackHttpServer;
}

namespace playlist_test {

struct Candidate {
    QString name;
    QString firstName;
    QString lastName;
    QString votes;
    QString percentage;
    QString winner;
};

/// One race of an election-results feed; a candidate left empty is a <Candidate> without a name.
struct Race {
    QString number;
    QString name1;
    QString precincts;
    std::vector<std::optional<Candidate>> candidates;
};

/// A race numbered `number` with `count` named candidates "F<i>"/"L<i>", votes 100·i, "<i>.5"%.
Race raceWithCandidates(int number, int count);

/// <Election><Race>…</Race>…</Election>.
QByteArray electionFeed(const std::vector<Race>& races);

/// An election data source on a loopback server, with its own user defaults in a temporary
/// folder (the exporter's defaults registered) and a folder for playlists.
class ElectionFixture {
  public:
    ElectionFixture();
    ~ElectionFixture();

    /// Serves `races` as the feed and refreshes; returns whether the refresh delivered.
    bool load(const std::vector<Race>& races);
    /// Hands the rows over directly, as a refresh would (for texts no parser accepts).
    void adopt(const std::vector<Race>& races);
    /// Adds a column of `type` reading `identifier`.
    void addColumn(const QString& title, const QString& identifier, uint type = 0);
    /// Exports to `name` in the temporary folder and returns the path; check `ok`.
    QString exportPlaylist(const QString& name, bool* ok = nullptr);

    QTemporaryDir dir;
    std::unique_ptr<testing_support::LoopbackHttpServer> server;
    std::unique_ptr<platform::UserDefaults> defaults;
    std::unique_ptr<NVSCGDataSource> dataSource;
};

/// A playlist file parsed back, its elements in a compact form: `name[attribute=value, …]` and
/// then `{child; …}` or, without element children, `=text` (attribute names with their prefix).
class ParsedPlaylist {
  public:
    explicit ParsedPlaylist(const QString& path);
    ~ParsedPlaylist();
    bool isValid() const { return m_document != nullptr; }
    QByteArray bytes() const { return m_bytes; }
    xmlNodePtr root() const;
    /// The "playlistItem" elements, each in the compact form.
    QStringList items() const;
    static QString outline(xmlNodePtr element);

  private:
    QByteArray m_bytes;
    std::unique_ptr<platform::XmlDocument> m_document;
};

} // namespace playlist_test

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

/// One field of a simulated project.
struct CGSimItem {
    QString name;
    QString uniqueID;
    QString type;
    friend bool operator==(const CGSimItem&, const CGSimItem&) = default;
};

/// One simulated project with its items, in listing order.
struct CGSimProject {
    QString name;
    QString uniqueID;
    QList<CGSimItem> items;
    friend bool operator==(const CGSimProject&, const CGSimProject&) = default;
};

/// The projects file of the simulator: a JSON array of
/// {"name", "uniqueID", "items": [{"name", "uniqueID", "type"}]}.
class CGSimProjectFile {
  public:
    /// nullopt with a reason when the text is not such an array.
    static std::optional<QList<CGSimProject>> parse(const QByteArray& json, QString* error = nullptr);
    static QByteArray serialize(const QList<CGSimProject>& projects);
    /// What the simulator serves without a file: a scoreboard, a lower third, a weather board.
    static QList<CGSimProject> builtIn();
};

#pragma once

#include "platform/Json.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

class CGProject;
class CGProjectItem;

/// Bodies the client sends and the meaning of the answers it reads: pure functions, no I/O.
class CGServerWire {
  public:
    /// What a PUT's answer says.
    struct UpdateOutcome {
        enum class Kind { NotAnObject, Success, Failure };
        Kind kind = Kind::NotAnObject;
        /// The answer's "error" member as text (strings as they are, other JSON compact).
        QString error;
    };

    /// {"text": value} or {"htmlText": value}, pretty-printed.
    static QByteArray textUpdateBody(const platform::JsonValue& value, bool isHTML);
    /// {"moviePath": path} ({"movie_path": path} for type 2), pretty-printed.
    static QByteArray mediaUpdateBody(const QString& path, qint32 serverType);

    /// The projects of a listing answer, malformed records skipped; empty unless an array.
    static QList<std::shared_ptr<CGProject>> decodeProjects(const std::optional<platform::JsonValue>& answer,
                                                            qint32 serverType);
    static QList<std::shared_ptr<CGProjectItem>> decodeItems(const std::optional<platform::JsonValue>& answer,
                                                             qint32 serverType);
    /// The token of an authorization answer whose "success" is true. A granted answer without a
    /// string "token" is taken as refused: there is nothing to authorize the update with.
    static std::optional<QString> authorizationToken(const std::optional<platform::JsonValue>& answer);
    static UpdateOutcome updateOutcome(const std::optional<platform::JsonValue>& answer);

    /// A JSON value as it appears in log lines: strings as they are, anything else compact JSON.
    static QString displayText(const platform::JsonValue& value);
};

#include "rack/FeedRecordingIndex.h"

#include "platform/Json.h"

#include <QRegularExpression>
#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <variant>

namespace {

using Json = nlohmann::ordered_json;

/// Each reader gives the reason when the field is missing or of the wrong kind or range.
QString missingOr(const char* field, const char* what) {
    return QStringLiteral("\"%1\" is missing or not %2").arg(QLatin1String(field), QLatin1String(what));
}

const Json* member(const Json& object, const char* field) {
    const auto it = object.find(field);
    return it == object.end() ? nullptr : &*it;
}

bool readInteger(const Json& object, const char* field, qint64 minimum, qint64 maximum, qint64* value) {
    const Json* found = member(object, field);
    if (!found || !found->is_number_integer())
        return false;
    if (found->is_number_unsigned()) {
        const auto number = found->get<std::uint64_t>();
        if (number > std::uint64_t(std::numeric_limits<qint64>::max()))
            return false;
        *value = qint64(number);
    } else {
        *value = found->get<std::int64_t>();
    }
    return *value >= minimum && *value <= maximum;
}

bool readString(const Json& object, const char* field, QByteArray* value) {
    const Json* found = member(object, field);
    if (!found || !found->is_string())
        return false;
    *value = QByteArray::fromStdString(found->get<std::string>());
    return true;
}

bool hasControlCharacters(const QByteArray& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7f; });
}

/// The snapshot of one line, or the reason it is not one.
std::variant<FeedSnapshot, QString> readLine(const QByteArray& text) {
    const std::optional<platform::JsonValue> parsed = platform::parseJson(text);
    if (!parsed)
        return QStringLiteral("not JSON (cut short?)");
    if (!parsed->is_object())
        return QStringLiteral("not a JSON object");
    const Json& entry = *parsed;
    FeedSnapshot snapshot;
    qint64 number = 0;
    if (!readInteger(entry, "snapshot", 1, FeedRecordingIndex::LastNumber, &number))
        return missingOr("snapshot", "a whole number from 1");
    snapshot.number = int(number);
    QByteArray file;
    if (!readString(entry, "file", &file))
        return missingOr("file", "a string");
    snapshot.file = QString::fromUtf8(file);
    if (!FeedRecordingIndex::isPlainFileName(snapshot.file))
        return QStringLiteral("\"file\" is not a plain name inside the recording's folder");
    QByteArray fetchedAt;
    if (!readString(entry, "fetchedAt", &fetchedAt))
        return missingOr("fetchedAt", "a string");
    snapshot.fetchedAt = QDateTime::fromString(QString::fromUtf8(fetchedAt), Qt::ISODateWithMs);
    if (!snapshot.fetchedAt.isValid())
        return QStringLiteral("\"fetchedAt\" is not an ISO 8601 time");
    snapshot.fetchedAt = snapshot.fetchedAt.toUTC();
    if (!readString(entry, "contentType", &snapshot.contentType) ||
        hasControlCharacters(snapshot.contentType))
        return missingOr("contentType", "a string without control characters");
    qint64 status = 0;
    if (!readInteger(entry, "status", 100, 599, &status))
        return missingOr("status", "an HTTP status from 100 to 599");
    snapshot.status = int(status);
    if (!readInteger(entry, "bytes", 0, std::numeric_limits<qint64>::max(), &snapshot.bytes))
        return missingOr("bytes", "a whole number from 0");
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    if (!readString(entry, "sha256", &snapshot.sha256) ||
        !hex.match(QString::fromLatin1(snapshot.sha256)).hasMatch())
        return missingOr("sha256", "64 hexadecimal digits");
    return snapshot;
}

} // namespace

FeedRecordingIndex::Parsed FeedRecordingIndex::parse(const QByteArray& text) {
    Parsed parsed;
    int number = 0;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        ++number;
        const QByteArray line = text.mid(start, end - start).trimmed();
        start = end + 1;
        if (line.isEmpty())
            continue;
        std::variant<FeedSnapshot, QString> read = readLine(line);
        if (auto* snapshot = std::get_if<FeedSnapshot>(&read))
            parsed.entries.append({number, std::move(*snapshot)});
        else
            parsed.skipped.append({number, std::get<QString>(read)});
    }
    return parsed;
}

QByteArray FeedRecordingIndex::line(const FeedSnapshot& snapshot) {
    const Json entry{{"snapshot", snapshot.number},
                     {"file", snapshot.file.toStdString()},
                     {"fetchedAt", snapshot.fetchedAt.toUTC().toString(Qt::ISODateWithMs).toStdString()},
                     {"contentType", snapshot.contentType.toStdString()},
                     {"status", snapshot.status},
                     {"bytes", snapshot.bytes},
                     {"sha256", snapshot.sha256.toStdString()}};
    return platform::toJsonBytes(entry) + '\n';
}

bool FeedRecordingIndex::isPlainFileName(const QString& name) {
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.')) && !name.contains(QLatin1Char('/')) &&
           !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

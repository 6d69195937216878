#include "platform/HttpHeaderList.h"

namespace platform::http {

namespace {
bool sameName(QByteArrayView a, QByteArrayView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}
} // namespace

void HeaderList::set(const QByteArray& name, const QByteArray& value) {
    qsizetype first = -1;
    for (qsizetype i = 0; i < fields_.size();) {
        if (!sameName(fields_[i].first, name)) {
            ++i;
        } else if (first < 0) {
            first = i;
            fields_[i].second = value;
            ++i;
        } else {
            fields_.removeAt(i);
        }
    }
    if (first < 0)
        fields_.append({name, value});
}

void HeaderList::remove(QByteArrayView name) {
    fields_.removeIf([name](const Field& field) { return sameName(field.first, name); });
}

std::optional<QByteArray> HeaderList::value(QByteArrayView name) const {
    for (const Field& field : fields_) {
        if (sameName(field.first, name))
            return field.second;
    }
    return std::nullopt;
}

QList<QByteArray> HeaderList::values(QByteArrayView name) const {
    QList<QByteArray> result;
    for (const Field& field : fields_) {
        if (sameName(field.first, name))
            result.append(field.second);
    }
    return result;
}

} // namespace platform::http

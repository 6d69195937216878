#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <optional>

namespace platform::http {

/// HTTP header fields in wire order. Names compare case-insensitively; values are raw bytes.
/// A plain value type: no thread affinity.
class HeaderList {
  public:
    using Field = QPair<QByteArray, QByteArray>;

    HeaderList() = default;
    HeaderList(std::initializer_list<Field> fields) : fields_(fields) {}

    /// Adds a field after the existing ones, keeping any earlier field of the same name.
    void append(const QByteArray& name, const QByteArray& value) { fields_.append({name, value}); }
    /// Replaces every field named `name` by one field at the position of the first, or appends it.
    void set(const QByteArray& name, const QByteArray& value);
    void remove(QByteArrayView name);

    /// The value of the first field named `name`, or nullopt when there is none.
    std::optional<QByteArray> value(QByteArrayView name) const;
    bool contains(QByteArrayView name) const { return value(name).has_value(); }
    /// Every value of fields named `name`, in order.
    QList<QByteArray> values(QByteArrayView name) const;

    const QList<Field>& fields() const { return fields_; }
    qsizetype size() const { return fields_.size(); }
    bool isEmpty() const { return fields_.isEmpty(); }
    void clear() { fields_.clear(); }
    auto begin() const { return fields_.cbegin(); }
    auto end() const { return fields_.cend(); }

    friend bool operator==(const HeaderList&, const HeaderList&) = default;

  private:
    QList<Field> fields_;
};

} // namespace platform::http

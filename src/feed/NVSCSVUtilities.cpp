#include "feed/NVSCSVUtilities.h"

#include <QChar>

namespace {

constexpr char16_t Quote = u'"';

/// Reads the text left to right; every step consumes at least one character or ends the row.
class CSVScanner {
  public:
    CSVScanner(const QString& text, char16_t separator) : m_text(text), m_separator(separator) {}

    char16_t separator() const { return m_separator; }
    bool isSignificant(char16_t c) const {
        return c == m_separator || c == Quote || NVSCSVUtilities::isNewlineCharacter(c);
    }

    bool atEnd() const { return m_position >= m_text.size(); }
    char16_t current() const { return m_text.at(m_position).unicode(); }
    void advance() { ++m_position; }

    /// Everything up to the next significant character (or the end).
    QStringView scanUpToSignificant() {
        const qsizetype start = m_position;
        while (!atEnd() && !isSignificant(current()))
            ++m_position;
        return QStringView(m_text).sliced(start, m_position - start);
    }

    QStringView scanNewlineRun() {
        const qsizetype start = m_position;
        while (!atEnd() && NVSCSVUtilities::isNewlineCharacter(current()))
            ++m_position;
        return QStringView(m_text).sliced(start, m_position - start);
    }

    void skipWhitespace() {
        // A tab that separates fields is not white space to skip.
        while (!atEnd() && current() != m_separator && NVSCSVUtilities::isWhitespaceCharacter(current()))
            ++m_position;
    }

  private:
    const QString& m_text;
    const char16_t m_separator;
    qsizetype m_position = 0;
};

NVSCSVUtilities::Row scanRow(CSVScanner& scanner) {
    NVSCSVUtilities::Row row;
    QString field;
    bool quoted = false;
    while (true) {
        field += scanner.scanUpToSignificant();
        if (scanner.atEnd())
            break;
        const char16_t c = scanner.current();
        if (NVSCSVUtilities::isNewlineCharacter(c)) {
            const QStringView run = scanner.scanNewlineRun();
            if (!quoted)
                break;
            field += run;
        } else if (c == Quote) {
            scanner.advance();
            if (!quoted) {
                quoted = true;
            } else if (!scanner.atEnd() && scanner.current() == Quote) {
                scanner.advance();
                field += QChar(Quote);
            } else {
                quoted = false;
            }
        } else { // the separator
            scanner.advance();
            if (quoted) {
                field += QChar(scanner.separator());
            } else {
                row.append(field);
                field.clear();
                scanner.skipWhitespace();
            }
        }
    }
    if (!field.isEmpty())
        row.append(field);
    return row;
}

} // namespace

bool NVSCSVUtilities::isNewlineCharacter(char16_t c) {
    return (c >= 0x000A && c <= 0x000D) || c == 0x0085 || c == 0x2028 || c == 0x2029;
}

bool NVSCSVUtilities::isWhitespaceCharacter(char16_t c) {
    return c == 0x0009 || QChar::category(c) == QChar::Separator_Space;
}

QList<NVSCSVUtilities::Row> NVSCSVUtilities::CSVRowsWithString(const QString& text) {
    return CSVRowsWithString(text, u',');
}

QList<NVSCSVUtilities::Row> NVSCSVUtilities::CSVRowsWithString(const QString& text, char16_t separator) {
    QList<Row> rows;
    CSVScanner scanner(text, separator);
    while (!scanner.atEnd()) {
        Row row = scanRow(scanner);
        if (!row.isEmpty())
            rows.append(std::move(row));
    }
    return rows;
}

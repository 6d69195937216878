#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/// Splits comma-separated text into rows of fields, with double-quote quoting. Stateless; any thread.
///
/// Rules: a run of line breaks of any length (U+000A–U+000D, U+0085, U+2028, U+2029) ends a row,
/// so blank lines give no rows; whitespace (U+0009 and the space separators) after a comma is
/// dropped, elsewhere it stays; an empty last field is dropped, other empty fields stay; quotes
/// may open and close anywhere in a field; inside quotes commas and line breaks are content and
/// a doubled quote stands for one quote; an unclosed quote runs to the end of the text.
class NVSCSVUtilities {
  public:
    using Row = QStringList;

    /// The rows of `text`; an empty text gives an empty list.
    static QList<Row> CSVRowsWithString(const QString& text);
    /// The same with another separator (a tab for tab-separated values; white space after it is
    /// then dropped as after a comma, the separator itself never).
    static QList<Row> CSVRowsWithString(const QString& text, char16_t separator);

    static bool isNewlineCharacter(char16_t c);
    static bool isWhitespaceCharacter(char16_t c);
};

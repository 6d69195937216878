#pragma once

#include "datasource/NVSCGDataSourceExport.h"

#include <QString>
#include <QStringView>
#include <vector>

/// The token syntax of column formats: "<#", a column's unique identifier, "!>". Pure text
/// functions; the data source adds the column lookups.
class NVSCGDATASOURCE_EXPORT NVSCGDataSourceTokenizer {
  public:
    struct Item {
        bool isToken = false;
        /// A literal's text, or a token's whole text from "<#" through "!>".
        QStringView text;
        /// The text between "<#" and "!>" of a token.
        QStringView uniqueID() const { return isToken ? text.mid(2, text.size() - 4) : QStringView(); }
    };

    /// Literals (never empty) and tokens in order; views into `text`, which must outlive them.
    /// A "<#" without a later "!>" starts a literal that runs to the end.
    static std::vector<Item> split(QStringView text);
    /// Whether the text begins with "<#" and ends with "!>".
    static bool isToken(const QString& text);
    /// The text without its first two and last two characters.
    static QString tokenString(const QString& tokenText);
    /// "<#" + uniqueID + "!>".
    static QString tokenCode(const QString& uniqueID);
};
